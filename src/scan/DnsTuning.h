#pragma once

namespace quarlo {

// How long the DNS components wait for an answer and how often they ask.
// The wait for one try follows the measured round-trip times; these bound it.
struct DnsTuning {
    int maxTimeoutMs = 5000; // longest wait for one try
    // Tries per query, the first one included. With 1 % of datagrams lost
    // each way, three tries all go unanswered for about one query in
    // 130,000: one scan in a dozen of 10,000 queries would miss a verdict.
    int tries = 4;
};

} // namespace quarlo
