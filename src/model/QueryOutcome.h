#pragma once

namespace quarlo {

// How one blacklist query of a scan ended.
enum class QueryOutcome {
    Listed,    // an answer in 127.0.0.0/8 that lists the address
    NotListed, // NXDOMAIN, or no address record
    Refused,   // only answers the list marks as not a listing (operator refusals)
    Failed,    // no usable answer: time-out, SERVFAIL, REFUSED, an answer outside 127.0.0.0/8
    Ignored,   // not a blacklist reply, or from a zone without definition
};

} // namespace quarlo
