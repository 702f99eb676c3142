#include "ui/HistoryView.h"

#include "storage/HistoryStore.h"
#include "ui/HistoryTips.h"
#include "ui/WindowText.h"

#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QScatterSeries>
#include <QSplitter>
#include <QTextDocument>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace quarlo {
namespace {

// Moving the grid's cursor with the keyboard passes many addresses a second;
// only the one it rests on is loaded.
constexpr int kSettleMs = 60;
// A read never waits long for a writer: the window must stay responsive.
constexpr int kViewBusyMs = 200;

QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.simplified();
}

QString listingText(const ScanObservation& observation)
{
    QStringList lines;
    const int pairs = std::max(observation.codes.size(), observation.reasons.size());
    for (int i = 0; i < pairs; ++i) {
        const QString code = observation.codes.value(i);
        const QString reason = observation.reasons.value(i);
        lines << (reason.isEmpty() ? code : code.isEmpty() ? reason : code + QStringLiteral(": ") + reason);
    }
    for (const QString& txt : observation.txt) lines << QStringLiteral("TXT: ") + txt;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

HistoryView::HistoryView(QWidget* parent) : QDockWidget(tr("History"), parent)
{
    setObjectName(QStringLiteral("HistoryView"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);

    message_ = new QLabel(body);
    message_->setObjectName(QStringLiteral("HistoryMessage"));
    message_->setWordWrap(false);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line however long (a path, the store's reason): cut at the dock's
    // edge rather than widening it; the tooltip has it whole.
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(message_, 0, Qt::AlignTop);

    chart_ = new QChart();
    chart_->legend()->hide();
    chart_->setMargins(QMargins(2, 2, 2, 2));
    steps_ = new QLineSeries(chart_);
    steps_->setName(tr("Lists listing it"));
    listedMarks_ = new QScatterSeries(chart_);
    listedMarks_->setName(tr("Listed"));
    listedMarks_->setColor(QColor(200, 30, 30));
    listedMarks_->setMarkerSize(9);
    delistedMarks_ = new QScatterSeries(chart_);
    delistedMarks_->setName(tr("Delisted"));
    delistedMarks_->setColor(QColor(30, 150, 60));
    delistedMarks_->setMarkerSize(9);
    chart_->addSeries(steps_);
    chart_->addSeries(listedMarks_);
    chart_->addSeries(delistedMarks_);
    timeAxis_ = new QDateTimeAxis(chart_);
    timeAxis_->setFormat(QStringLiteral("yyyy-MM-dd"));
    timeAxis_->setTickCount(4);
    countAxis_ = new QValueAxis(chart_);
    countAxis_->setLabelFormat(QStringLiteral("%d"));
    // Whole numbers of lists only, however many there are.
    countAxis_->setTickType(QValueAxis::TicksDynamic);
    countAxis_->setTickAnchor(0);
    countAxis_->setTitleText(tr("Lists"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(countAxis_, Qt::AlignLeft);
    for (QAbstractSeries* series : chart_->series()) {
        series->attachAxis(timeAxis_);
        series->attachAxis(countAxis_);
    }
    connect(listedMarks_, &QScatterSeries::hovered, this, &HistoryView::onHover);
    connect(delistedMarks_, &QScatterSeries::hovered, this, &HistoryView::onHover);

    // Time runs left to right: the chart gets the width, the list of
    // changes sits beside it.
    auto* split = new QSplitter(Qt::Horizontal, body);
    chartView_ = new QChartView(chart_, split);
    chartView_->setObjectName(QStringLiteral("HistoryChart"));
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumSize(320, 180);
    list_ = new QListWidget(split);
    list_->setObjectName(QStringLiteral("HistoryEvents"));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setMinimumWidth(160);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({600, 260});
    layout->addWidget(split, 1);
    setWidget(body);

    loadTimer_.setSingleShot(true);
    loadTimer_.setInterval(kSettleMs);
    connect(&loadTimer_, &QTimer::timeout, this, &HistoryView::loadNow);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && stale_) loadTimer_.start();
    });
    showMessage(tr("Select an address to see its history."));
}

HistoryView::~HistoryView() = default;

void HistoryView::setHistoryPath(const QString& path)
{
    if (path == path_) return;
    path_ = path;
    store_.reset();
    reload();
}

void HistoryView::setTarget(const QString& target)
{
    if (target.compare(target_, Qt::CaseInsensitive) == 0 && !stale_) return;
    target_ = target;
    stale_ = true;
    if (isVisible()) loadTimer_.start();
}

void HistoryView::reload()
{
    stale_ = true;
    if (isVisible()) loadTimer_.start();
}

void HistoryView::loadNow()
{
    loadTimer_.stop();
    stale_ = false;
    loaded_ = target_;
    changes_.clear();
    if (target_.isEmpty()) {
        showMessage(tr("Select an address to see its history."));
        return;
    }
    if (path_.isEmpty() || !QFileInfo::exists(path_)) {
        showMessage(tr("No history yet: scans are recorded in %1 once one finishes.").arg(path_));
        return;
    }
    if (store_ && !store_->IsOpen()) store_.reset();
    if (!store_) {
        store_ = std::make_unique<HistoryStore>();
        store_->setBusyTimeoutMs(kViewBusyMs);
        if (!store_->Open(path_, true)) {
            showMessage(tr("History unavailable: %1").arg(oneLine(store_->LastError())));
            store_.reset();
            return;
        }
    }
    std::vector<HistoryEvent> events;
    if (!store_->Timeline(target_, &events)) {
        showMessage(tr("History unavailable: %1").arg(oneLine(store_->LastError())));
        // A file replaced or repaired meanwhile is opened afresh next time.
        store_.reset();
        return;
    }
    if (events.empty()) {
        showMessage(tr("No scan of %1 is recorded yet.").arg(target_));
        return;
    }
    QList<QPointF> points;
    Summarise(events, QDateTime::currentDateTimeUtc(), &points, &changes_);
    lastNote_.clear();
    // The history keeps changes only: the last one tells since when.
    const HistoryEvent& last = events.back();
    const QString when = HistoryTips::DateText(last.when);
    if (last.observation.outcome == ScanObservation::Outcome::Unresolvable)
        lastNote_ = tr("Since %1: not checked, the host name was not found").arg(when);
    else if (last.observation.outcome == ScanObservation::Outcome::Invalid)
        lastNote_ = tr("Since %1: not checked, %2").arg(when, WindowText::Of(last.observation.detail.left(200)));
    steps_->replace(points);
    showTimeline(QDateTime::currentDateTimeUtc());
}

void HistoryView::Summarise(const std::vector<HistoryEvent>& events, const QDateTime& now, QList<QPointF>* steps,
                            std::vector<Change>* changes)
{
    steps->clear();
    changes->clear();
    if (events.empty()) return;
    QHash<QString, bool> listing; // per zone: its last real answer was a listing
    int count = 0;
    steps->append(QPointF(events.front().when.toMSecsSinceEpoch(), 0));
    for (size_t i = 0; i < events.size();) {
        const QDateTime when = events[i].when;
        const int before = count;
        // Every change of one scan shares its time: one step for all of them.
        for (; i < events.size() && events[i].when == when; ++i) {
            const ScanObservation& seen = events[i].observation;
            if (!ScanObservation::IsAnswer(seen.outcome)) continue;
            const bool listed = seen.outcome == ScanObservation::Outcome::Listed;
            bool& was = listing[seen.zone.toCaseFolded()];
            if (listed == was) continue;
            was = listed;
            count += listed ? 1 : -1;
            const QString list = seen.listName.isEmpty() ? seen.zone : seen.listName;
            changes->push_back(Change{when, listed, list, listed ? listingText(seen) : QString()});
        }
        if (count != before) {
            const double x = when.toMSecsSinceEpoch();
            steps->append(QPointF(x, before));
            steps->append(QPointF(x, count));
        }
    }
    const qint64 end = std::max(now.toMSecsSinceEpoch(), events.back().when.toMSecsSinceEpoch());
    steps->append(QPointF(end, count));
}

void HistoryView::showMessage(const QString& text)
{
    lastNote_.clear();
    message_->setText(text);
    message_->setToolTip(text);
    message_->show();
    chartView_->parentWidget()->hide();
    steps_->clear();
    listedMarks_->clear();
    delistedMarks_->clear();
    list_->clear();
    emit Loaded();
}

void HistoryView::showTimeline(const QDateTime& now)
{
    Q_UNUSED(now);
    message_->clear();
    message_->setToolTip(QString());
    message_->hide();
    chartView_->parentWidget()->show();
    chart_->setTitle(tr("%1: lists listing it").arg(loaded_));

    const QList<QPointF> points = steps_->points();
    qreal top = 1;
    for (const QPointF& p : points) top = std::max(top, p.y());
    QList<QPointF> listed, delisted;
    list_->clear();
    for (const Change& change : changes_) {
        // The mark sits where the step line arrives after the scan.
        qreal y = 0;
        const qreal x = change.when.toMSecsSinceEpoch();
        for (const QPointF& p : points)
            if (p.x() <= x) y = p.y();
        (change.listed ? listed : delisted).append(QPointF(x, y));
        auto* item =
            new QListWidgetItem(QStringLiteral("%1  %2").arg(HistoryTips::DateText(change.when),
                                                             change.listed ? tr("Listed by %1").arg(change.list)
                                                                           : tr("Delisted by %1").arg(change.list)),
                                list_);
        item->setForeground(change.listed ? QColor(170, 20, 20) : QColor(20, 120, 50));
        // The list operator's words, shown as they are even when they look like markup.
        if (!change.text.isEmpty()) item->setToolTip(Qt::convertFromPlainText(change.text, Qt::WhiteSpaceNormal));
    }
    if (changes_.empty()) {
        auto* item = new QListWidgetItem(tr("No list has listed it in the recorded scans."), list_);
        item->setForeground(QColor(90, 90, 90));
    }
    if (!lastNote_.isEmpty()) {
        auto* item = new QListWidgetItem(lastNote_, list_);
        item->setForeground(QColor(176, 96, 0));
    }
    list_->scrollToBottom();
    listedMarks_->replace(listed);
    delistedMarks_->replace(delisted);

    qint64 first = static_cast<qint64>(points.front().x());
    qint64 last = static_cast<qint64>(points.back().x());
    // A single scan still gets a readable axis.
    if (last - first < 3600 * 1000) {
        first -= 1800 * 1000;
        last += 1800 * 1000;
    }
    const qint64 pad = (last - first) / 40;
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(first - pad), QDateTime::fromMSecsSinceEpoch(last + pad));
    const qint64 day = 24LL * 3600 * 1000;
    timeAxis_->setFormat(last - first < 2 * day         ? QStringLiteral("MMM d HH:mm")
                             : last - first < 300 * day ? QStringLiteral("MMM d")
                                                        : QStringLiteral("yyyy-MM"));
    const int lists = static_cast<int>(top);
    countAxis_->setTickInterval(std::max(1, (lists + 4) / 5));
    countAxis_->setRange(0, lists + 0.5);
    emit Loaded();
}

QString HistoryView::message() const
{
    return message_->isHidden() ? QString() : message_->text();
}

QList<QPointF> HistoryView::steps() const
{
    return steps_->points();
}

QStringList HistoryView::changeLines() const
{
    QStringList lines;
    for (const Change& change : changes_)
        lines << (change.listed ? tr("Listed by %1").arg(change.list) : tr("Delisted by %1").arg(change.list));
    return lines;
}

QString HistoryView::hoverText(const QDateTime& when) const
{
    if (changes_.empty()) return QString();
    const qint64 at = when.toMSecsSinceEpoch();
    const auto distance = [at](const Change& c) { return std::llabs(c.when.toMSecsSinceEpoch() - at); };
    const Change* nearest = &*std::min_element(
        changes_.begin(), changes_.end(), [&](const Change& a, const Change& b) { return distance(a) < distance(b); });
    QStringList parts;
    for (const Change& change : changes_) {
        if (change.when != nearest->when) continue;
        const QString when = HistoryTips::DateText(change.when);
        QString part = change.listed ? tr("Listed by %1 on %2").arg(change.list, when)
                                     : tr("Delisted by %1 on %2").arg(change.list, when);
        if (!change.text.isEmpty()) part += QLatin1Char('\n') + change.text;
        parts << part;
    }
    return parts.join(QStringLiteral("\n\n"));
}

void HistoryView::onHover(const QPointF& point, bool state)
{
    if (!state) {
        QToolTip::hideText();
        return;
    }
    const QString text = hoverText(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x())));
    // List operators' words: shown as they are, never as markup.
    QToolTip::showText(QCursor::pos(), Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal), chartView_);
}

} // namespace quarlo
