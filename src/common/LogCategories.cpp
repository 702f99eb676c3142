#include "common/LogCategories.h"

Q_LOGGING_CATEGORY(lcDns, "quarlo.dns", QtWarningMsg)
Q_LOGGING_CATEGORY(lcScan, "quarlo.scan", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "quarlo.history", QtWarningMsg)
Q_LOGGING_CATEGORY(lcExport, "quarlo.export", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAutomation, "quarlo.automation", QtWarningMsg)
