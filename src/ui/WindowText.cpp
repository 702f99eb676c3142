#include "ui/WindowText.h"

#include "common/AtomicFileWriter.h"
#include "common/IpRange.h"
#include "common/RegFileBackend.h"
#include "export/ResultCells.h"
#include "model/Address.h"
#include "model/DnsFailure.h"
#include "model/Responses.h"
#include "model/Settings.h"
#include "scan/ScanSummary.h"
#include "scan/TargetResolver.h"
#include "scan/ZoneTest.h"
#include "storage/AddressListFile.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"
#include "storage/XmlDocumentFile.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace quarlo {
namespace {

constexpr const char* kGridContext = "quarlo::ResultsModel";

// The grid's fixed texts (from ResultCells, which keeps them English for
// reports and automation); %1, %2, ... stand for counts.
const char* const kGridTexts[] = {
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Target"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Reason(s) for being Blacklisted"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "URL"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not on any Blacklist"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not checked: no enabled list supports IPv6"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not checked: no enabled list applies to this target"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Scanning ..."),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not completely checked"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not completely checked: the scan was stopped"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not completely checked: %1 of %2 lists refused the query"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not completely checked: %1 of %2 lists did not answer"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel",
                      "Not completely checked: %1 of %2 lists did not answer, %3 refused the query"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Not checked"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Accepts no mail (null MX)"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Host name not found"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "The scan was stopped before this address was checked"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Enable a blacklist server in Settings"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Received 1 reason"),
    QT_TRANSLATE_NOOP("quarlo::ResultsModel", "Query refused"),
};

// Counted texts whose words change with the first count (singular and
// plural in the translation).
const char* const kCountedGridTexts[] = {
    QT_TRANSLATE_N_NOOP("quarlo::ResultsModel", "Blacklisted by %1 servers"),
    QT_TRANSLATE_N_NOOP("quarlo::ResultsModel", "Received %1 reasons"),
};

// Texts with parts that are words (a list's name, a reason, a host name),
// each part shown translated in its turn.
constexpr const char* kEngineContext = "quarlo::EngineText";
constexpr const char* kCellsContext = "quarlo::ResultCells";
struct Filled {
    const char* context;
    const char* source;
    bool counts = false; // the parts are numbers, never words ("%1 more" must not take "Spam and more")
};
const Filled kFilledTexts[] = {
    {kEngineContext, DnsFailure::kOtherErrorText, true},
    {kEngineContext, XmlDocumentFile::kTooLargeText},
    {kEngineContext, XmlDocumentFile::kCannotOpenText},
    {kEngineContext, XmlDocumentFile::kCannotReadText},
    {kEngineContext, XmlDocumentFile::kMalformedText},
    {kEngineContext, AddressListFile::kCannotLoadText},
    {kEngineContext, AddressListFile::kCannotSaveText},
    {kEngineContext, AddressListFile::kTooManyText},
    {kEngineContext, AddressListFile::kMoreThanTooManyText},
    {kEngineContext, ServerConfigFile::kCannotLoadText},
    {kEngineContext, ServerConfigFile::kCannotSaveText},
    {kEngineContext, ServerConfigFile::kCannotKeepText},
    {kEngineContext, ServerConfigStore::kNoFolderText},
    {kEngineContext, Settings::kCannotSaveOptionText},
    {kEngineContext, Settings::kCannotSaveOptionBecauseText},
    {kEngineContext, RegFileBackend::kCannotSaveText},
    {kEngineContext, RegFileBackend::kCannotReadText},
    {kEngineContext, RegFileBackend::kChangedText},
    {kEngineContext, RegFileBackend::kNotRegularText},
    {kEngineContext, RegFileBackend::kTooLargeText},
    {kEngineContext, RegFileBackend::kNotExportText},
    {kEngineContext, RegFileBackend::kCannotCreateFolderText},
    {kEngineContext, RegFileBackend::kCannotLockText},
    {kEngineContext, RegFileBackend::kLockHeldText},
    {kEngineContext, AtomicFileWriter::kCannotOpenFolderText},
    {kEngineContext, AtomicFileWriter::kCannotLookAtFolderText},
    {kEngineContext, AtomicFileWriter::kCannotLookAtFileText},
    {kEngineContext, AtomicFileWriter::kCannotReadLinkText},
    {kEngineContext, AtomicFileWriter::kCannotWriteInFolderText},
    {kEngineContext, AtomicFileWriter::kCannotCreateKeptText},
    {kEngineContext, AtomicFileWriter::kCannotCreateNoneText},
    {kEngineContext, AtomicFileWriter::kPermissionsKeptText},
    {kEngineContext, AtomicFileWriter::kWritingKeptText},
    {kEngineContext, AtomicFileWriter::kWritingNoneText},
    {kEngineContext, AtomicFileWriter::kReplacingKeptText},
    {kEngineContext, AtomicFileWriter::kReplacingNoneText},
    {kEngineContext, IpRange::kTooLargeText},
    {kEngineContext, IpRange::kIpv6RangeText},
    {kEngineContext, IpRange::kNoRangeText},
    {kEngineContext, IpRange::kBadBaseText},
    {kEngineContext, IpRange::kBadPrefixText},
    {kEngineContext, IpRange::kReversedText},
    {kEngineContext, Address::kMoreAddressesText, true},
    {kEngineContext, Address::kBadAddressLiteralText},
    {kEngineContext, Address::kBadMailDomainText},
    {kEngineContext, Address::kPublicSuffixText},
    {kEngineContext, Address::kOutsideLoopbackText},
    {kEngineContext, TargetResolver::kNoMailDomainText},
    {kEngineContext, TargetResolver::kMxFailedText},
    {kEngineContext, TargetResolver::kNullMxText},
    {kEngineContext, TargetResolver::kBadMxNameText},
    {kEngineContext, TargetResolver::kNoValidMxText},
    {kEngineContext, TargetResolver::kHostLookupFailedText},
    {kEngineContext, TargetResolver::kMailServerWithoutAddressText},
    {kEngineContext, ZoneTest::kFailedText},
    {kEngineContext, ZoneTest::kRefusedText},
    {kEngineContext, ZoneTest::kListsEveryNameText},
    {kEngineContext, ZoneTest::kListsEveryAddressText},
    {kEngineContext, ZoneTest::kNoTestNameText},
    {kEngineContext, ZoneTest::kNoTestAddressText},
    {kEngineContext, kStallText},
    {kCellsContext, ResultCells::kIncompleteBecauseText},
    {kCellsContext, ResultCells::kNotCheckedBecauseText},
    {kCellsContext, ResultCells::kInvalidTargetBecauseText},
    {kCellsContext, ResultCells::kHostLookupText},
    {kCellsContext, ResultCells::kIpv6ApplicabilityText},
    {kCellsContext, ResultCells::kDomainApplicabilityText},
    {kCellsContext, ResultCells::kNoAnswerText},
    {kCellsContext, ResultCells::kNoAnswerBecauseText},
    {kCellsContext, ResultCells::kRefusedText},
    {kCellsContext, ResultCells::kRefusedBecauseText},
    {kCellsContext, ResultCells::kNotAskedText},
    {kCellsContext, ResultCells::kNotApplicableText},
    {kCellsContext, ResultCells::kServerRefusedText},
    {kCellsContext, ResultCells::kServerRefusedBecauseText},
    {kCellsContext, ResultCells::kAnswerText},
    {kCellsContext, ResultCells::kRefusalAnswerText},
};

// A text with %1, %2, ... as a pattern that finds the parts in the English.
struct Pattern {
    QRegularExpression expression;
    QList<int> numbers; // the placeholder each capture fills, in order
    QString anchor;     // the longest fixed piece: texts without it are not tried
    qsizetype fixedLength = 0;
    const char* context;
    const char* source;
    enum class Parts { Words, Counts, Plural } parts;
};

struct Patterns {
    QHash<QString, const char*> gridExact;
    std::vector<Pattern> filled; // the most specific (longest fixed text) first

    Patterns()
    {
        for (const char* source : kGridTexts) addGrid(source, Pattern::Parts::Counts);
        for (const char* source : kCountedGridTexts) addGrid(source, Pattern::Parts::Plural);
        for (const Filled& text : kFilledTexts)
            add(text.context, text.source, text.counts ? Pattern::Parts::Counts : Pattern::Parts::Words);
        std::stable_sort(filled.begin(), filled.end(),
                         [](const Pattern& a, const Pattern& b) { return a.fixedLength > b.fixedLength; });
    }

    void addGrid(const char* source, Pattern::Parts parts)
    {
        if (!QString::fromUtf8(source).contains(QLatin1Char('%')))
            gridExact.insert(QString::fromUtf8(source), source);
        else
            add(kGridContext, source, parts);
    }

    void add(const char* context, const char* source, Pattern::Parts parts)
    {
        static const QRegularExpression placeholder(QStringLiteral("%(\\d)"));
        const QString text = QString::fromUtf8(source);
        Pattern pattern{{}, {}, {}, 0, context, source, parts};
        QString expression = QStringLiteral("^");
        qsizetype at = 0;
        const auto fixed = [&](const QString& piece) {
            expression += QRegularExpression::escape(piece);
            pattern.fixedLength += piece.size();
            if (piece.size() > pattern.anchor.size()) pattern.anchor = piece;
        };
        for (const QRegularExpressionMatch& match : placeholder.globalMatch(text)) {
            fixed(text.mid(at, match.capturedStart() - at));
            expression += parts == Pattern::Parts::Words ? QStringLiteral("(.*?)") : QStringLiteral("(\\d+)");
            pattern.numbers << match.captured(1).toInt();
            at = match.capturedEnd();
        }
        fixed(text.mid(at));
        pattern.expression =
            QRegularExpression(expression + QLatin1Char('$'), QRegularExpression::DotMatchesEverythingOption);
        filled.push_back(std::move(pattern));
    }
};

const Patterns& patterns()
{
    static const Patterns all;
    return all;
}

// Puts the parts into a translation: %1 the first part, wherever the
// translation places it.
QString fillIn(const QString& translation, const QStringList& parts)
{
    QString out;
    out.reserve(translation.size());
    for (qsizetype i = 0; i < translation.size(); ++i) {
        const QChar c = translation.at(i);
        if (c == QLatin1Char('%') && i + 1 < translation.size() && translation.at(i + 1).isDigit()) {
            const int number = translation.at(i + 1).digitValue();
            if (number >= 1 && number <= parts.size()) {
                out += parts.at(number - 1);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// A translation of the whole text, or a null string.
QString translatedExact(const QString& text)
{
    const Patterns& all = patterns();
    if (const auto it = all.gridExact.constFind(text); it != all.gridExact.cend())
        return QCoreApplication::translate(kGridContext, it.value());
    const QByteArray source = text.toUtf8();
    for (const char* context : {kEngineContext, kCellsContext}) {
        QString translated = QCoreApplication::translate(context, source.constData());
        if (translated != text) return translated;
    }
    return QString();
}

QString shown(const QString& text, int depth)
{
    if (text.isEmpty()) return text;
    if (QString exact = translatedExact(text); !exact.isNull()) return exact;
    // Parts within parts go three deep at most ("Not completely checked:
    // MX lookup failed: timed out").
    if (depth >= 3) return text;
    for (const Pattern& pattern : patterns().filled) {
        if (!text.contains(pattern.anchor)) continue;
        const QRegularExpressionMatch match = pattern.expression.match(text);
        if (!match.hasMatch()) continue;
        QStringList parts(pattern.numbers.size() ? *std::max_element(pattern.numbers.cbegin(), pattern.numbers.cend())
                                                 : 0);
        for (qsizetype i = 0; i < pattern.numbers.size(); ++i) {
            const QString part = match.captured(static_cast<int>(i) + 1);
            parts[pattern.numbers.at(i) - 1] = pattern.parts == Pattern::Parts::Words ? shown(part, depth + 1) : part;
        }
        const int count = pattern.parts == Pattern::Parts::Plural ? parts.value(0).toInt() : -1;
        return fillIn(QCoreApplication::translate(pattern.context, pattern.source, nullptr, count), parts);
    }
    // Several problems of one lookup come joined.
    if (text.contains(QLatin1String("; "))) {
        QStringList pieces = text.split(QStringLiteral("; "));
        bool changed = false;
        for (QString& piece : pieces) {
            const QString translated = shown(piece, depth + 1);
            changed = changed || translated != piece;
            piece = translated;
        }
        if (changed) return pieces.join(QStringLiteral("; "));
    }
    return text;
}

} // namespace

QString WindowText::Of(const QString& english)
{
    // A server row's texts are indented in the grid; the indent stays.
    qsizetype indent = 0;
    while (indent < english.size() && english.at(indent) == QLatin1Char(' ')) ++indent;
    if (indent == 0) return shown(english, 0);
    return english.left(indent) + shown(english.mid(indent), 0);
}

QString WindowText::Lines(const QString& english)
{
    if (!english.contains(QLatin1Char('\n'))) return Of(english);
    QStringList lines = english.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        // Messages break their lines as "\r\n"; the break stays as it came.
        const bool carriageReturn = line.endsWith(QLatin1Char('\r'));
        if (carriageReturn) line.chop(1);
        line = Of(line);
        if (carriageReturn) line += QLatin1Char('\r');
    }
    return lines.join(QLatin1Char('\n'));
}

QString WindowText::AnswerReason(const QString& english)
{
    static const QRegularExpression undefined = [] {
        const QString text = QString::fromUtf8(kUndefinedCodeText);
        const qsizetype part = text.indexOf(QLatin1String("%1"));
        return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(text.left(part))
                                  + QStringLiteral("(\\S+)") + QRegularExpression::escape(text.mid(part + 2))
                                  + QLatin1Char('$'));
    }();
    qsizetype indent = 0;
    while (indent < english.size() && english.at(indent) == QLatin1Char(' ')) ++indent;
    const QRegularExpressionMatch match = undefined.match(QStringView(english).mid(indent));
    if (!match.hasMatch()) return english;
    return english.left(indent)
        + fillIn(QCoreApplication::translate(kEngineContext, kUndefinedCodeText), {match.captured(1)});
}

QString WindowText::Caption(const QString& caption)
{
    // "name (part, part, ...)": the target itself holds no blank.
    const qsizetype open = caption.indexOf(QLatin1String(" ("));
    if (open < 0 || !caption.endsWith(QLatin1Char(')'))) return caption;
    QStringList parts = caption.mid(open + 2, caption.size() - open - 3).split(QStringLiteral(", "));
    for (QString& part : parts) part = Of(part);
    return caption.left(open + 2) + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace quarlo
