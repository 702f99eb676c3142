#pragma once

namespace quarlo {

// How long the DNS components wait for an answer and how often they ask.
// The wait for one try follows the measured round-trip times; these bound it.
struct DnsTuning {
    int maxTimeoutMs = 5000; // longest wait for one try
    int tries = 3; // tries per query, the first one included: two lost datagrams in a row are no rarity on a lossy path
};

} // namespace quarlo
