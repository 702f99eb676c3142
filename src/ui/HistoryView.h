#pragma once

#include "model/HistoryEvent.h"

#include <QDateTime>
#include <QDockWidget>
#include <QMap>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <utility>
#include <vector>

class QLabel;
class QListWidget;
class QLineSeries;
class QScatterSeries;
class QChart;
class QChartView;
class QDateTimeAxis;
class QValueAxis;

namespace quarlo {

class HistoryStore;

// The scan history of the grid's current address, docked beside the grid:
// a step line of how many lists listed it over time, a mark at each listing
// and delisting (the reasons, codes and TXT texts on hover), and the same
// events as a list below. It reads the history file read-only, so a damaged,
// locked, newer or missing file is never touched; it says what is wrong in
// one line and the window goes on.
class HistoryView : public QDockWidget {
    Q_OBJECT
public:
    // One listing or delisting of the target by one list.
    struct Change {
        QDateTime when;
        bool listed = true;
        QString list;
        QString text; // the reasons, codes and TXT texts (listings), for hover
    };

    explicit HistoryView(QWidget* parent = nullptr);
    ~HistoryView() override;

    void setHistoryPath(const QString& path);
    QString historyPath() const { return path_; }

    // The address to show; loading waits for the event loop (and for the
    // dock to be shown), so following the grid's cursor costs it nothing.
    void setTarget(const QString& target);
    QString target() const { return target_; }
    // Loads again (after a scan was recorded).
    void reload();
    // Loads now, whether shown or not.
    void loadNow();

    // What the view shows, for tests and the screenshot tool: the one-line
    // message (empty while a timeline is shown), the step line's points
    // (x: milliseconds since the epoch), and the changes, oldest first.
    QString message() const;
    QList<QPointF> steps() const;
    const std::vector<Change>& changes() const { return changes_; }
    QStringList changeLines() const;
    // What became of the last scan when no list could be asked about the
    // address (its name did not resolve, or it cannot be checked); empty
    // otherwise.
    QString LastScanNote() const { return lastNote_; }
    // The hover text of the mark nearest to a time.
    QString hoverText(const QDateTime& when) const;

    // From a timeline (oldest first): the listing count's steps and the
    // changes. Failures in between keep a list's last real answer.
    static void Summarise(const std::vector<HistoryEvent>& events, const QDateTime& now, QList<QPointF>* steps,
                          std::vector<Change>* changes);

signals:
    // A load finished (shown or with a message).
    void Loaded();

private:
    void showMessage(const QString& text);
    void showTimeline(const QDateTime& now);
    void onHover(const QPointF& point, bool state);

    QString path_;
    QString target_;
    QString loaded_; // the target the view shows
    bool stale_ = true;
    QTimer loadTimer_;
    std::unique_ptr<HistoryStore> store_;
    QLabel* message_ = nullptr;
    QChartView* chartView_ = nullptr;
    QChart* chart_ = nullptr;
    QLineSeries* steps_ = nullptr;
    QScatterSeries* listedMarks_ = nullptr;
    QScatterSeries* delistedMarks_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* countAxis_ = nullptr;
    QListWidget* list_ = nullptr;
    QString lastNote_;
    std::vector<Change> changes_;
};

} // namespace quarlo
