#include "cli/MetricFamilies.h"

#include <QHash>
#include <QList>

namespace quarlo {

namespace {

// The family a sample belongs to: its name up to "{" or the blank.
QByteArray sampleFamily(const QByteArray& line)
{
    qsizetype end = 0;
    while (end < line.size() && line.at(end) != '{' && line.at(end) != ' ') ++end;
    return line.left(end);
}

} // namespace

QByteArray MetricFamilies::Merge(const QList<QByteArray>& texts)
{
    struct Family {
        QByteArray comments;
        QByteArray samples;
    };
    QList<QByteArray> order;
    QHash<QByteArray, Family> families;
    auto family = [&](const QByteArray& name) -> Family& {
        if (!families.contains(name)) order << name;
        return families[name];
    };
    for (const QByteArray& text : texts) {
        for (const QByteArray& line : text.split('\n')) {
            if (line.isEmpty()) continue;
            if (line.startsWith("# HELP ") || line.startsWith("# TYPE ")) {
                const QByteArray name = line.mid(7).split(' ').value(0);
                Family& into = family(name);
                // The first text's comments stand for all.
                if (into.comments.count('\n') < 2 && !into.comments.contains(line.left(7) + name + ' '))
                    into.comments += line + '\n';
                continue;
            }
            if (line.startsWith('#')) continue;
            family(sampleFamily(line)).samples += line + '\n';
        }
    }
    QByteArray merged;
    for (const QByteArray& name : order) merged += families[name].comments + families[name].samples;
    return merged;
}

} // namespace quarlo
