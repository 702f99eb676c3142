#include "common/RegFileBackend.h"
#include "common/AppInfo.h"
#include "common/Registry.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

using namespace quarlo;

namespace quarlo {
// Readable values in failure messages.
inline void PrintTo(const RegistryValue& v, std::ostream* os)
{
    switch (v.type) {
    case RegistryValue::Type::String: *os << "string \"" << v.text.toStdString() << "\""; break;
    case RegistryValue::Type::DWord: *os << "dword " << v.dword; break;
    case RegistryValue::Type::Binary:
        *os << "binary " << v.binary.size() << " bytes " << v.binary.left(16).toHex(',').toStdString();
        break;
    }
}
} // namespace quarlo

namespace {

constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;

constexpr auto Str = &RegistryValue::fromString;
constexpr auto Num = &RegistryValue::fromDWord;
constexpr auto Bin = &RegistryValue::fromBinary;
constexpr int kValuesPerWriter = 200; // per program in the two-program test

#if defined(Q_OS_UNIX)
void Backdate(const QString& path, int seconds)
{
    const struct timeval times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}
#endif

// The text of a stored string, or a marker no stored text can equal.
QString TextOf(const std::optional<RegistryValue>& v)
{
    if (!v) return "<missing>";
    return v->type == RegistryValue::Type::String ? v->text : "<not text>";
}

class RegFileBackendTest : public ::testing::Test {
protected:
    QString dir() const { return tmp_.path(); }
    QString cuFile() const { return tmp_.filePath("HKEY_CURRENT_USER.reg"); }
    // Reads through a backend that has never seen the file, so the result
    // comes from the file's text and not from a cached copy.
    std::optional<RegistryValue> freshRead(RegistryRoot root, const QString& key, const QString& name) const
    {
        return RegFileBackend(dir()).read(root, key, name);
    }

    QTemporaryDir tmp_;
};

} // namespace

// ---------------------------------------------------------------- round trips

// Every kind of value survives the file; names and keys the format cannot
// hold are refused without touching it.
TEST_F(RegFileBackendTest, ValuesSurviveTheFileInTheWindowsExportFormatOrAreRefused)
{
    const QString key = "Software\\Vantorel\\App";
    const QList<std::pair<QString, RegistryValue>> values = {
        {"Name", Str("text")},
        {"", Str("def")},
        {"Count", Num(10)},
        {"Max", Num(0xfffffffeu)},
        {"Bin", Bin(QByteArray("\x00\x01\x7f\x80\xff", 5))},
        {"NoBytes", Bin({})},
        {"Empty", Str("")},
        {"Uni", Str(QString::fromUtf8("Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80"))},
        {"Say \"hi\" \\ there\\", Str("C:\\Path\\\"quoted\"\\")},
        {"@", Str("at")}, // a value so named is not the default value
        {"Multi", Str("line 1\r\nline 2\nend")},
        {"Nul", Str(QString("a") + QChar(u'\0') + "b" + QChar(u'\0'))}};
    RegFileBackend backend(dir());
    ASSERT_TRUE(backend.write(CU, "Software\\Other", "Blob", Bin("\x01\x02\xff")));
    for (const auto& [name, value] : values) ASSERT_TRUE(backend.write(CU, key, name, value));
    ASSERT_TRUE(backend.write(LM, key, "Name", Str("machine")));

    for (const auto& [name, value] : values) {
        EXPECT_EQ(backend.read(CU, key, name), value) << name.toStdString();
        EXPECT_EQ(freshRead(CU, key, name), value) << name.toStdString();
    }
    // Each root has its own file.
    EXPECT_EQ(TextOf(freshRead(LM, key, "Name")), "machine");
    EXPECT_FALSE(freshRead(CU, key, "Missing"));
    EXPECT_FALSE(freshRead(RegistryRoot::ClassesRoot, key, "Name"));

    const QByteArray file = slurp(cuFile());
    EXPECT_TRUE(file.startsWith("Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Other]\n\"Blob\"=hex:01,02,ff\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Vantorel\\App]\n"
                                "\"Name\"=\"text\"\n@=\"def\"\n\"Count\"=dword:0000000a\n"))
        << file.toStdString();
    EXPECT_TRUE(file.contains("\n\"Say \\\"hi\\\" \\\\ there\\\\\"=\"C:\\\\Path\\\\\\\"quoted\\\"\\\\\"\n"));
    EXPECT_TRUE(file.endsWith("\n\"Nul\"=hex(1):61,00,00,00,62,00,00,00,00,00\n\n"));

    const auto unknownRoot = static_cast<RegistryRoot>(7);
    EXPECT_FALSE(backend.write(CU, key, "Two\nLines", Str("x")));
    EXPECT_FALSE(backend.write(CU, key, QString("Nul") + QChar(u'\0'), Str("x")));
    EXPECT_FALSE(backend.write(CU, "Software\\Bad\nKey", "A", Str("x")));
    EXPECT_FALSE(backend.write(CU, "Software\\\\Empty", "A", Str("x")));
    EXPECT_FALSE(backend.write(unknownRoot, key, "A", Str("x")));
    EXPECT_FALSE(backend.read(unknownRoot, key, "A"));
    EXPECT_EQ(slurp(cuFile()), file);
}

// ------------------------------------------------------------ existing files

TEST_F(RegFileBackendTest, HandWrittenWindowsFileLoadsAndSurvivesAWrite)
{
    const QByteArray original =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; exported by hand\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Vantorel\\Vantorel Quarlo\\Settings]\r\n"
        "\"Server\"=\"bl.example.test\"\r\n; keep this note\r\n\"Timeout\"=DWORD:0000001E\r\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n  16,17,18,19\r\n"
        "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
        "\"List\"=hex(7):61,00,00,00,\\\r\n  62,00,00,00,00,00\r\n"
        "\"Gone\"=-\r\n\"Wide\"=hex(1):48,00,69,00,00,00\r\n@=\"the default\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n\"X\"=\"y\"\r\n\r\n";
    spit(cuFile(), original);
    const QString key = "Software\\Vantorel\\Vantorel Quarlo\\Settings";
    QByteArray blob;
    for (int i = 0; i < 26; ++i) blob.append(char(i));

    RegFileBackend backend(dir());
    const std::pair<const char*, std::optional<RegistryValue>> expected[] = {
        {"server", Str("bl.example.test")}, {"Timeout", Num(30)},   {"Blob", Bin(blob)},    {"Wide", Str("Hi")},
        {"", Str("the default")},           {"Path", std::nullopt}, {"List", std::nullopt}, {"Gone", std::nullopt}};
    for (const auto& [name, value] : expected) EXPECT_EQ(backend.read(CU, key, name), value) << name;
    // A key of another root is kept but is not part of this root.
    EXPECT_FALSE(backend.read(CU, "Software\\Elsewhere", "X"));

    ASSERT_TRUE(backend.write(CU, key, "Added", Str("new")));
    ASSERT_TRUE(backend.write(CU, key, "SERVER", Str("changed")));
    const QByteArray after = slurp(cuFile());
    EXPECT_TRUE(after.startsWith("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"));
    EXPECT_EQ(after.count('\n'), after.count("\r\n")) << "line endings were mixed";
    // Every line except the changed one is still there as it was written.
    for (const QByteArray& line : original.split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith("\"Server\"") && !line.startsWith("\xEF")) {
            EXPECT_TRUE(after.contains(line + '\n')) << line.toStdString();
        }
    }
    EXPECT_TRUE(after.contains("\"Server\"=\"changed\"\r\n"));
    EXPECT_TRUE(after.contains("\"Added\"=\"new\"\r\n"));
    EXPECT_EQ(TextOf(freshRead(CU, key, "Server")), "changed");
    EXPECT_EQ(freshRead(CU, key, "Blob"), Bin(blob));
}

// Keys and names compare without regard to case or separators at either
// end, in the file as in calls; the first spelling stays.
TEST_F(RegFileBackendTest, LooseSpellingInTheFileAndInCalls)
{
    spit(cuFile(),
         "; no header line here\n\n\n[HKEY_CURRENT_USER\\Software\\Loose\\]\n"
         "   \"Indented\" = \"yes\"   \n\n\"Later\"=dword:1\n\"Twice\"=\"first\"\n\"twice\"=\"second\"\n"
         "[hkey_current_user\\software\\loose]\n\"Merged\"=\"also\"\n");
    RegFileBackend backend(dir());
    EXPECT_EQ(TextOf(backend.read(CU, "SOFTWARE\\loose", "INDENTED")), "yes");
    EXPECT_EQ(backend.read(CU, "Software\\Loose", "Later"), Num(1));
    EXPECT_EQ(TextOf(backend.read(CU, "Software\\Loose", "TWICE")), "second");
    EXPECT_EQ(TextOf(backend.read(CU, "Software\\Loose", "Merged")), "also");

    ASSERT_TRUE(backend.write(CU, "software\\LOOSE", "indented", Str("changed")));
    ASSERT_TRUE(backend.write(CU, "\\Software\\Loose\\", "New", Num(2)));
    const QByteArray file = slurp(cuFile());
    EXPECT_TRUE(file.startsWith("Windows Registry Editor Version 5.00\n\n; no header line here\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Loose\\]\n\"Indented\"=\"changed\"\n"));
    EXPECT_EQ(file.toLower().count("[hkey_current_user"), 1);
    EXPECT_FALSE(file.contains("LOOSE") || file.contains("indented"));
    for (const char* name : {"Later", "Twice", "Merged", "New"})
        EXPECT_TRUE(freshRead(CU, "Software\\Loose", name)) << name;
}

TEST_F(RegFileBackendTest, FilesThatAreNotRegistryExportsAreNeverOverwritten)
{
    const QByteArray valid = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\K]\n\"A\"=\"a\"\n\n";
    QByteArray utf16("\xFF\xFE", 2);
    for (QChar c : QString::fromLatin1(valid)) utf16.append(char(c.unicode())).append('\0');

    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"garbage", "this is not a registry file\n" + valid},
        {"ini file", "; settings\n[General]\nA=a\n"},
        {"utf-16 export", utf16},
        {"binary",
         QByteArray("\x7f"
                    "ELF\x02\x01\x01\0\0\0",
                    10)
             + valid},
        {"header not utf-8", "Windows Registry Editor Version 5.00\xC3\x28\n" + valid.mid(37)},
        {"one 1 MB line", QByteArray(1024 * 1024, 'x') + "\n" + valid},
    };
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        spit(cuFile(), content);
        RegFileBackend backend(dir());
        EXPECT_FALSE(backend.read(CU, "Software\\K", "A"));
        EXPECT_FALSE(backend.write(CU, "Software\\K", "New", Str("v")));
        EXPECT_TRUE(backend.lastError().contains("is not a registry export")) << backend.lastError().toStdString();
        EXPECT_TRUE(backend.lastError().contains(cuFile())) << backend.lastError().toStdString();
        EXPECT_LT(backend.lastError().size(), 300) << "the file's text is not echoed";
        EXPECT_FALSE(backend.write(CU, "Software\\K", "A", Str("v")));
        EXPECT_EQ(slurp(cuFile()), content);
    }

    // Once the file is repaired, the same backend notices.
    spit(cuFile(), valid + "\"Z\"=\"zz\"\n");
    RegFileBackend backend(dir());
    EXPECT_EQ(TextOf(backend.read(CU, "Software\\K", "A")), "a");
    EXPECT_TRUE(backend.write(CU, "Software\\K", "New", Str("v")));
    EXPECT_EQ(backend.lastError(), "");
}

TEST_F(RegFileBackendTest, DamagedLinesAreKeptVerbatimAndTheRestIsUsed)
{
    const QByteArray valid = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\K]\n\"A\"=\"a\"\n\"B\"=dword:00000002\n\n";
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"cut-off key header", valid + "[HKEY_CURRENT_USER\\Software\\Tru"},
        {"invalid utf-8", valid + "\"C\"=\"\xC3\x28\"\n"},
        {"overlong utf-8", valid + "; \xC0\xAF\n"},
        {"cut inside a character", valid + "; \xE2\x82"},
        {"nul byte", valid + QByteArray("\"C\"=\"x\0y\"\n", 11)},
        {"value before any key", "Windows Registry Editor Version 5.00\n\n\"C\"=\"c\"\n" + valid},
        {"unclosed string", valid + "\"C\"=\"no end\n\"D\"=\"d\"\n"},
        {"unclosed name", valid + "\"C=\"x\"\n"},
        {"value without data", valid + "\"C\"\n"},
        {"continuation at end", valid + "\"C\"=hex:01,02,\\\n"},
        // Blank lines are not written back; the cut-off value must still not
        // take the hex line after the blank.
        {"continuation before a blank line", valid + "\"C\"=hex:01,02,\\\n\n  03\n"},
        {"stray text", valid + "A=a\n"},
        // The reader takes the last CR as part of the line break; the lines
        // must not lose the one before it, however often they are rewritten.
        {"carriage return before the line break",
         valid + "A=a\r\r\n; note\r\r\n[HKEY_CURRENT_USER\\Software\\Tru\r\r\n"},
        {"one 1 MB line", valid + QByteArray(1024 * 1024, 'x')},
        // The values under a header that cannot be read are not the
        // previous key's.
        {"broken header", valid + "[HKEY_CURRENT_USER\\Software\\K\n\"A\"=\"wrong\"\n\"B\"=dword:00000009\n"},
        {"not a key", valid + "[General]\n\"A\"=\"wrong\"\n"},
    };
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        spit(cuFile(), content);
        RegFileBackend backend(dir());
        EXPECT_EQ(TextOf(backend.read(CU, "Software\\K", "A")), "a");
        EXPECT_EQ(backend.read(CU, "Software\\K", "B"), Num(2));
        const std::optional<RegistryValue> damaged = backend.read(CU, "Software\\K", "C");
        ASSERT_TRUE(backend.write(CU, "Software\\K", "New", Str("v"))) << backend.lastError().toStdString();
        ASSERT_TRUE(backend.write(CU, "Software\\K", "A", Str("changed")));
        ASSERT_TRUE(backend.write(CU, "Software\\Other", "O", Num(7)));

        const QByteArray after = slurp(cuFile());
        for (const QByteArray& line : content.split('\n')) {
            if (!line.trimmed().isEmpty() && !line.startsWith("\"A\"=\"a\"")) {
                EXPECT_TRUE(after.contains(line + '\n')) << "lost: " << line.left(60).toStdString();
            }
        }
        EXPECT_EQ(TextOf(freshRead(CU, "Software\\K", "A")), "changed");
        EXPECT_EQ(freshRead(CU, "Software\\K", "B"), Num(2));
        EXPECT_EQ(TextOf(freshRead(CU, "Software\\K", "New")), "v");
        EXPECT_EQ(freshRead(CU, "Software\\Other", "O"), Num(7));
        EXPECT_EQ(freshRead(CU, "Software\\K", "C"), damaged) << "a damaged value changed meaning";
        if (QByteArrayView(content).contains("\"D\"=\"d\"")) {
            EXPECT_EQ(TextOf(freshRead(CU, "Software\\K", "D")), "d");
        }
    }
}

TEST_F(RegFileBackendTest, HugeAndSpecialFilesAreLeftAlone)
{
    {
        QFile big(cuFile());
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(50LL * 1024 * 1024)); // sparse: cheap to make
    }
    RegFileBackend backend(dir());
    EXPECT_FALSE(backend.read(CU, "Software\\K", "A"));
    EXPECT_FALSE(backend.write(CU, "Software\\K", "A", Str("v")));
    EXPECT_TRUE(backend.lastError().contains("larger than 32 MiB")) << backend.lastError().toStdString();
    EXPECT_EQ(QFileInfo(cuFile()).size(), 50LL * 1024 * 1024);

#if defined(Q_OS_UNIX)
    // A FIFO would block a reader forever.
    const QString fifo = tmp_.filePath("HKEY_LOCAL_MACHINE.reg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(backend.read(LM, "Software\\K", "A"));
    EXPECT_FALSE(backend.write(LM, "Software\\K", "A", Str("v")));
    EXPECT_TRUE(backend.lastError().contains("is not a regular file")) << backend.lastError().toStdString();
    EXPECT_FALSE(QFileInfo(fifo).isFile());
#endif
    // A directory where the file should be.
    ASSERT_TRUE(QDir(dir()).mkdir("HKEY_CLASSES_ROOT.reg"));
    EXPECT_FALSE(backend.write(RegistryRoot::ClassesRoot, "K", "A", Str("v")));
    EXPECT_FALSE(backend.read(RegistryRoot::ClassesRoot, "K", "A"));
}

// --------------------------------------------------------------------- cache

TEST_F(RegFileBackendTest, SeesChangesMadeByOthers)
{
    RegFileBackend first(dir());
    RegFileBackend second(dir());
    ASSERT_TRUE(first.write(CU, "Software\\C", "V", Str("1")));
    EXPECT_EQ(TextOf(second.read(CU, "Software\\C", "V")), "1");
    // Same length, so only the file's identity and time tell them apart.
    ASSERT_TRUE(first.write(CU, "Software\\C", "V", Str("2")));
    EXPECT_EQ(TextOf(second.read(CU, "Software\\C", "V")), "2");
    // A writer builds on the file as it is now, not on its own last copy.
    ASSERT_TRUE(second.write(CU, "Software\\C", "W", Str("w")));
    ASSERT_TRUE(first.write(CU, "Software\\C", "X", Str("x")));
    EXPECT_EQ(TextOf(freshRead(CU, "Software\\C", "W")), "w");
    EXPECT_EQ(TextOf(second.read(CU, "Software\\C", "X")), "x");

    // Edited in place by hand, then removed.
    QByteArray text = slurp(cuFile());
    text.replace("\"V\"=\"2\"", "\"V\"=\"edited\"");
    spit(cuFile(), text);
    EXPECT_EQ(TextOf(first.read(CU, "Software\\C", "V")), "edited");
    ASSERT_TRUE(QFile::remove(cuFile()));
    EXPECT_FALSE(first.read(CU, "Software\\C", "V"));
}

// ----------------------------------------------------------- safe replacing

// The file is replaced through the atomic file writer (its own tests cover
// the replacing); neither its temporaries nor the lock file stay behind.
TEST_F(RegFileBackendTest, MakesItsFolderAndLeavesNothingBesideTheFile)
{
    const QString nested = tmp_.filePath("a/b");
    RegFileBackend backend(nested);
    ASSERT_TRUE(backend.write(CU, "Software\\R", "V", Str("old")));
    ASSERT_TRUE(backend.write(CU, "Software\\R", "V", Str("new")));
    EXPECT_EQ(TextOf(RegFileBackend(nested).read(CU, "Software\\R", "V")), "new");
    EXPECT_EQ(QDir(nested).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"HKEY_CURRENT_USER.reg"});
}

// ------------------------------------------------------------------- locking

TEST_F(RegFileBackendTest, LockLeftByAKilledWriterIsTakenOver)
{
    // The number of a process that has ended.
    QProcess ended;
    ended.start("sh", {"-c", "echo $$"});
    ASSERT_TRUE(ended.waitForFinished(30'000));
    const QByteArray deadPid = ended.readAllStandardOutput().trimmed();
    ASSERT_FALSE(deadPid.isEmpty());

    const struct {
        const char* what;
        QByteArray content;
        int age; // seconds
    } cases[] = {
        {"its owner has ended", deadPid + "\nquarlo\n" + QSysInfo::machineHostName().toUtf8() + "\n", 0},
        {"killed before writing its number", "", 0},
        {"empty for a while", "", 60},
    };
    const QString lock = cuFile() + ".lock";
    RegFileBackend backend(dir());
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        spit(lock, c.content);
#if defined(Q_OS_UNIX)
        if (c.age > 0) Backdate(lock, c.age);
#endif
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(backend.write(CU, "Software\\L", "V", Num(++round))) << backend.lastError().toStdString();
        // A lock judged stale by its age alone would have taken 10 s.
        EXPECT_LT(timer.elapsed(), 5'000);
        EXPECT_FALSE(QFile::exists(lock));
        EXPECT_EQ(freshRead(CU, "Software\\L", "V"), Num(round));
    }
}

#if defined(Q_OS_UNIX)
// A lock file its writer has created but not yet filled looks like one left
// by a killed writer, even when old; held, it is waited for, not taken over.
// (A lock held by a whole program: the two-program test below.)
TEST_F(RegFileBackendTest, LockOfALiveWriterIsWaitedFor)
{
    const QString lockPath = cuFile() + ".lock";
    spit(lockPath, "");
    Backdate(lockPath, 60);
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    std::atomic<int> written{-1};
    std::thread writer([&] { written = RegFileBackend(dir()).write(CU, "Software\\L", "V", Num(1)) ? 1 : 0; });
    // The owner's own write takes a while: meanwhile the other one waits.
    EXPECT_FALSE(QTest::qWaitFor([&] { return written >= 0; }, 1500)) << "the lock was taken from its live owner";
    QFile::remove(lockPath);
    ::close(fd);
    writer.join();
    EXPECT_EQ(written, 1);
    EXPECT_EQ(freshRead(CU, "Software\\L", "V"), Num(1));
    EXPECT_FALSE(QFile::exists(lockPath));
}
#endif

// ------------------------------------------------- other processes, threads

// Not a test of its own: the test below starts it in two processes at once.
TEST(RegFileBackendWorker, DISABLED_Run)
{
    const QString dir = qEnvironmentVariable("QUARLO_TEST_WORKER_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "only run by other tests";
    const QString prefix = qEnvironmentVariable("QUARLO_TEST_WORKER_PREFIX");
    RegFileBackend backend(dir);
    // Waits for the other writer, so the two really overlap.
    QFile(QDir(dir).filePath("ready-" + prefix)).open(QIODevice::WriteOnly);
    QElapsedTimer timer;
    timer.start();
    while (QDir(dir).entryList({"ready-*"}, QDir::Files).size() < 2 && timer.elapsed() < 20'000) QThread::msleep(1);
    for (int i = 0; i < kValuesPerWriter; ++i)
        ASSERT_TRUE(backend.write(CU, "Software\\Race", prefix + QString::number(i), Num(i)));
}

TEST_F(RegFileBackendTest, TwoProgramsWritingAtOnceKeepAllValues)
{
    QObject owner;
    std::vector<QProcess*> workers;
    for (const char* prefix : {"a", "b"}) {
        auto* process = new QProcess(&owner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUARLO_TEST_WORKER_DIR", dir());
        env.insert("QUARLO_TEST_WORKER_PREFIX", prefix);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QCoreApplication::applicationFilePath(),
                       {"--gtest_also_run_disabled_tests", "--gtest_filter=RegFileBackendWorker.DISABLED_Run"});
        workers.push_back(process);
    }
    for (QProcess* process : workers) {
        ASSERT_TRUE(process->waitForFinished(110'000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0) << process->readAll().toStdString();
    }

    RegFileBackend reader(dir());
    int found = 0;
    for (const char* prefix : {"a", "b"})
        for (int i = 0; i < kValuesPerWriter; ++i)
            found += reader.read(CU, "Software\\Race", prefix + QString::number(i)) == Num(i);
    EXPECT_EQ(found, 2 * kValuesPerWriter);
}

namespace {

class RegistryTest : public ::testing::Test {
protected:
    QByteArray fileBytes(RegistryRoot root) { return slurp(backend_.filePath(root)); }

    QTemporaryDir tmp_;
    RegFileBackend backend_{tmp_.path()};
    Registry registry_{backend_};
};

} // namespace

TEST_F(RegistryTest, SettingsAreTextUnderTheProgramKeyOfTheChosenRoot)
{
    registry_.SaveSetting("App", "Settings", "Flag", true, true);
    registry_.SaveSetting("App", "Settings", "Count", 12, false);
    registry_.SaveSetting("App", "Settings", "Empty", QVariant(), true);

    const QString key = ProgramKeyPath("App", "Settings");
    EXPECT_TRUE(backend_.read(CU, key, "Flag") == RegistryValue::fromString("True"));
    EXPECT_TRUE(backend_.read(LM, key, "Count") == RegistryValue::fromString("12"));
    EXPECT_TRUE(backend_.read(CU, key, "Empty") == RegistryValue::fromString(""));
    EXPECT_FALSE(backend_.read(CU, key, "Count"));

    EXPECT_EQ(registry_.GetSetting("app", "SETTINGS", "flag", "x", true), "True");
    EXPECT_EQ(registry_.GetSetting("App", "Settings", "Count", "x", true), "x");
    // A stored empty text is a value, not a missing one.
    EXPECT_EQ(registry_.GetSetting("App", "Settings", "Empty", "x", true), "");
}

TEST_F(RegistryTest, ReadingFallsBackForAnythingButText)
{
    const QString key = ProgramKeyPath("App", "S");
    backend_.write(CU, key, "Word", RegistryValue::fromDWord(5));
    backend_.write(CU, key, "Bin", RegistryValue::fromBinary("ab"));
    backend_.write(CU, key, "Nul", RegistryValue::fromString(QString("vis") + QChar(u'\0') + "hidden"));

    EXPECT_EQ(registry_.GetSetting("App", "S", "Word", "def", true), "def");
    EXPECT_EQ(registry_.GetSetting("App", "S", "Bin", false, true), "False");
    EXPECT_EQ(registry_.GetSetting("App", "S", "Missing", 3, true), "3");
    EXPECT_EQ(registry_.GetSetting("Other", "S", "Word", QVariant(), true), "");
    EXPECT_EQ(registry_.GetSetting("App", "S", "Nul", "def", true), "vis");
    EXPECT_EQ(registry_.GetValue(CU, key, "Word", "d"), "d");
    EXPECT_EQ(registry_.GetValue(CU, key, "Nul", "d"), "vis");
}

// Each kind as its registry type; other kinds, or no key, write nothing.
TEST_F(RegistryTest, SetValueStoresEachKindAsItsRegistryTypeAndNothingElse)
{
    registry_.SetValue(CU, "K", "S", QString("text"));
    registry_.SetValue(CU, "K", "Short", QVariant::fromValue<short>(-1));
    registry_.SetValue(CU, "K", "UShort", QVariant::fromValue<ushort>(65535));
    registry_.SetValue(CU, "K", "Int", -2);
    registry_.SetValue(CU, "K", "UInt", 4000000000u);
    registry_.SetValue(CU, "K", "Bytes", QByteArray("\x00\x01", 2));

    EXPECT_TRUE(backend_.read(CU, "K", "S") == RegistryValue::fromString("text"));
    EXPECT_TRUE(backend_.read(CU, "K", "Short") == RegistryValue::fromDWord(0xffffffffu));
    EXPECT_TRUE(backend_.read(CU, "K", "UShort") == RegistryValue::fromDWord(0x0000ffffu));
    EXPECT_TRUE(backend_.read(CU, "K", "Int") == RegistryValue::fromDWord(0xfffffffeu));
    EXPECT_TRUE(backend_.read(CU, "K", "UInt") == RegistryValue::fromDWord(4000000000u));
    EXPECT_TRUE(backend_.read(CU, "K", "Bytes") == RegistryValue::fromBinary(QByteArray("\x00\x01", 2)));
    EXPECT_EQ(registry_.GetValue(CU, "K", "S", "def"), "text");
    EXPECT_EQ(registry_.GetValue(CU, "K", "Int", "def"), "def");

    const QByteArray before = fileBytes(CU);

    for (const QVariant& v : {QVariant(true), QVariant(1.5), QVariant(QDateTime::currentDateTime()), QVariant(),
                              QVariant::fromValue<qlonglong>(1), QVariant(QChar(u'x'))})
        registry_.SetValue(CU, "K", "Other", v);
    registry_.SetValue(CU, "", "Text", QString("x"));
    registry_.SetValue(LM, "", "Text", QString("x"));

    EXPECT_EQ(fileBytes(CU), before);
    EXPECT_FALSE(QFile::exists(backend_.filePath(LM)));
}

TEST(RegistryFailures, AreSilent)
{
    QTemporaryDir tmp;
    // The store's directory cannot be created: a file has its name.
    const QString blocked = tmp.filePath("file");
    QFile(blocked).open(QIODevice::WriteOnly);
    RegFileBackend backend(blocked + "/sub");
    Registry registry(backend);
    registry.SaveSetting("App", "S", "N", "v", true);
    registry.SetValue(CU, "K", "N", 1);
    EXPECT_EQ(registry.GetSetting("App", "S", "N", "def", true), "def");
    EXPECT_EQ(registry.GetValue(CU, "K", "N", 4), "4");
}
