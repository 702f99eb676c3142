// The URL parser: the main window hands it every link it navigates to.
#include "common/URL.h"

#include <cstdlib>

using namespace quarlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    URL url;
    url.setURL(text);
    const URLParameters& parameters = url.Parameters();
    if (parameters.Keys().size() != parameters.Count() || parameters.Items().size() != parameters.Count()) std::abort();
    for (const QString& name : parameters.Keys())
        if (!parameters.Exists(name)) std::abort();
    (void)url.Hostname();
    (void)url.URLPath();
    (void)url.Protocol();

    // Composing what was parsed, and parsing that again.
    const QString composed = url.URLText();
    URL again;
    again.setURL(composed);
    (void)again.URLText();

    // The parameters by hand: names from the input, set and removed again.
    URL built;
    built.Parameters().Set(text, text);
    built.Parameters().Set(text, QString());
    if (built.Parameters().Count() != 1 || !built.Parameters().Item(text).isEmpty()) std::abort();
    (void)built.URLText();
    if (!built.Parameters().Remove(text) || built.Parameters().Count() != 0) std::abort();
    return 0;
}
