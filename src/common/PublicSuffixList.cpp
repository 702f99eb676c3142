#include "common/PublicSuffixList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <mutex>

namespace quarlo {
namespace {

struct SharedList {
    PublicSuffixList list;
    QString source;
};

SharedList& shared()
{
    static SharedList instance;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        QStringList paths{PublicSuffixList::kSystemPath};
        if (QCoreApplication::instance()) {
            // Beside the program in a build tree; in share/quarlo when installed.
            const QDir programDir(QCoreApplication::applicationDirPath());
            paths << programDir.filePath(PublicSuffixList::kBundledName)
                  << programDir.filePath(QStringLiteral("../share/quarlo/") + PublicSuffixList::kBundledName);
        }
        for (const QString& path : paths) {
            PublicSuffixList list;
            if (list.Load(path)) {
                instance.list = std::move(list);
                instance.source = path;
                return;
            }
        }
    });
    return instance;
}

} // namespace

bool PublicSuffixList::Load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    if (file.size() > kMaxFileSize) {
        if (error) *error = QStringLiteral("larger than %1 bytes").arg(kMaxFileSize);
        return false;
    }
    const int before = RuleCount();
    qint64 total = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(kMaxLineLength);
        total += line.size();
        if (total > kMaxFileSize) break; // a file that grew while read
        if (!line.endsWith('\n') && !file.atEnd()) {
            // An overlong line is no rule: skip the rest of it.
            while (!file.atEnd() && !line.endsWith('\n')) {
                line = file.readLine(kMaxLineLength);
                total += line.size();
            }
            continue;
        }
        addRule(QString::fromUtf8(line));
    }
    if (RuleCount() == before) {
        if (error) *error = QStringLiteral("no rules found");
        return false;
    }
    return true;
}

void PublicSuffixList::AddRules(const QString& text)
{
    for (const QString& line : text.split(QLatin1Char('\n'))) addRule(line);
}

void PublicSuffixList::addRule(QString rule)
{
    // A rule is the first word of a line; "//" starts a comment.
    rule = rule.trimmed();
    if (rule.isEmpty() || rule.startsWith(QLatin1String("//"))) return;
    if (const qsizetype blank = rule.indexOf(QRegularExpression(QStringLiteral("\\s"))); blank > 0)
        rule.truncate(blank);
    bool exception = false, wildcard = false;
    if (rule.startsWith(QLatin1Char('!'))) {
        exception = true;
        rule.remove(0, 1);
    } else if (rule.startsWith(QLatin1String("*."))) {
        wildcard = true;
        rule.remove(0, 2);
    }
    bool ascii = true;
    for (QChar c : rule) ascii = ascii && c.unicode() < 0x80;
    if (!ascii) rule = QString::fromLatin1(QUrl::toAce(rule));
    rule = rule.toLower();
    if (rule.isEmpty() || rule.contains(QLatin1Char('*')) || rule.startsWith(QLatin1Char('.'))) return;
    (exception ? exceptions_ : wildcard ? wildcards_ : rules_).insert(rule);
}

QString PublicSuffixList::PublicSuffix(const QString& host) const
{
    QString name = host.trimmed().toLower();
    if (name.endsWith(QLatin1Char('.'))) name.chop(1);
    if (name.isEmpty()) return QString();
    const QStringList labels = name.split(QLatin1Char('.'));
    const qsizetype count = labels.size();
    auto suffixFrom = [&](qsizetype first) { return labels.mid(first).join(QLatin1Char('.')); };
    // An exception rule beats every other rule and removes its own first label.
    for (qsizetype i = 0; i < count; ++i)
        if (exceptions_.contains(suffixFrom(i))) return suffixFrom(i + 1);
    // Otherwise the rule with the most labels wins; the default is "*".
    for (qsizetype i = 0; i < count; ++i) {
        if (rules_.contains(suffixFrom(i))) return suffixFrom(i);
        if (i + 1 < count && wildcards_.contains(suffixFrom(i + 1))) return suffixFrom(i);
    }
    return labels.last();
}

QString PublicSuffixList::RegisteredDomain(const QString& host) const
{
    QString name = host.trimmed().toLower();
    if (name.endsWith(QLatin1Char('.'))) name.chop(1);
    const QString suffix = PublicSuffix(name);
    if (suffix.isEmpty() || name.size() <= suffix.size()) return QString();
    const QString rest = name.left(name.size() - suffix.size() - 1);
    if (rest.isEmpty()) return QString();
    const qsizetype dot = rest.lastIndexOf(QLatin1Char('.'));
    return rest.mid(dot + 1) + QLatin1Char('.') + suffix;
}

const PublicSuffixList& PublicSuffixList::Shared()
{
    return shared().list;
}

QString PublicSuffixList::SharedSource()
{
    return shared().source;
}

} // namespace quarlo
