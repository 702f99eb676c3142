#pragma once

#include "model/ScanObservation.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace quarlo {

// What one scan of the service found, taken from its observations: the
// listings, and per list whether it answered. A probe's answer and the
// status page's lines are made from it.
class ScanDigest {
public:
    // allAnswers: keep the "not listed" answers too (a probe reports them
    // as 0); a watch of a large range keeps only its listings.
    explicit ScanDigest(bool allAnswers) : allAnswers_(allAnswers) {}

    void add(const ScanObservation& seen);

    // The probe's answer in the Prometheus text format: quarlo_listed per
    // target, list and code (0 with an empty code when the list answered
    // that it does not list it), quarlo_list_up per list, then
    // quarlo_probe_success and quarlo_probe_duration_seconds.
    QByteArray probeMetrics(bool success, double seconds) const;

    // "192.0.2.7 on 2 lists (a.test, b.test)", one per listed target, in
    // the order first seen.
    QStringList listedTargets() const;
    // "a.test (3 targets)", one per list that gave no usable answer somewhere.
    QStringList failingLists() const;

private:
    struct Answer {
        QString target;
        QString zone;
        QStringList codes; // empty: not listed
    };
    struct List {
        QString name;
        int failures = 0;
    };

    bool allAnswers_;
    std::vector<Answer> answers_;
    QMap<QString, List> lists_; // by zone
};

} // namespace quarlo
