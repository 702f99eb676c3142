#pragma once

#include "model/QueryTag.h"
#include "scan/Addresslist.h"

// Replies are routed by an address's id; tests name the address by its
// target. Turns "target:Kind:..." into the tag the list really sent.
inline QString TagByTarget(const quarlo::Addresslist& list, const QString& tag)
{
    const quarlo::QueryTag parsed = quarlo::QueryTag::Parse(tag);
    const quarlo::AddressPtr address = parsed.IsValid() ? list.Item(parsed.Key()) : nullptr;
    if (!address) return tag;
    return address->QueryKey(0) + tag.mid(parsed.Key().size());
}
