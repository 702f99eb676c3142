#include <QCoreApplication>
#ifdef QUARLO_TEST_WIDGETS
#include <QApplication>
#endif
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every test binary runs inside a Qt event loop owner, never reaches the
// system's resolvers (which lie outside the machine) and never touches the
// user's real registry files.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QUARLO_DNS_SERVERS")) qputenv("QUARLO_DNS_SERVERS", "127.0.0.1:9");
    QTemporaryDir registryDir;
    if (qEnvironmentVariableIsEmpty("QUARLO_REGISTRY_DIR")) qputenv("QUARLO_REGISTRY_DIR", registryDir.path().toUtf8());
#ifdef QUARLO_TEST_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
