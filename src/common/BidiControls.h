#pragma once

namespace quarlo {

// Unicode's invisible direction controls (ALM, LRM, RLM, the embeddings and
// overrides LRE..RLO with PDF, and the isolates LRI..PDI). Shown raw they
// reorder the text around them, so a TXT text or name from a stranger could
// make a terminal line or a spreadsheet cell read differently from what it
// holds ("moc.elpmaxe" shown as "example.com"); outputs treat them as the
// control characters they are.
inline bool IsBidiControl(char16_t u)
{
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

} // namespace quarlo
