#pragma once

#include "common/Registry.h"
#include "model/DnsFailure.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeDirectDns.h"
#include "support/FakeDnsLookup.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/TagAlias.h"
#include "ui/ResultsTable.h"

#include <QBrush>
#include <QFont>
#include <QTest>
#include <gtest/gtest.h>

// The results grid wired to an address list as the window wires it, three
// lists, and DNS replies the test gives.
class ResultsFixture : public ::testing::Test {
protected:
    static constexpr int kTarget = quarlo::ResultsModel::kTargetColumn;
    static constexpr int kReason = quarlo::ResultsModel::kReasonColumn;
    static constexpr int kUrl = quarlo::ResultsModel::kUrlColumn;
    static constexpr int kNoData = quarlo::DnsFailure::NoData;
    static constexpr int kServFail = quarlo::DnsFailure::ServerFailure;
    static constexpr int kNxDomain = quarlo::DnsFailure::NotFound;
    static constexpr int kTimeout = quarlo::DnsFailure::Timeout;

    ResultsFixture() : registry(backend), settings(registry, nullptr)
    {
        auto direct = std::make_unique<FakeDirectDns>();
        directDns = direct.get();
        list = std::make_unique<quarlo::Addresslist>(settings, dns, std::move(direct));
        dns.tagAlias = [this](const QString& tag) { return TagByTarget(*list, tag); };
        // Addresses ask every list at once; the tests before a scan have a
        // test of their own.
        settings.setCheckListsBeforeScanning(false);
        settings.BlacklistServers().Add(makeServer(
            "a.test", true, {{"127.0.0.2", "Spam source"}, {"127.0.0.3", "Open proxy"}, {"127.0.0.4", "Dynamic range"}},
            false, "Alpha List"));
        settings.BlacklistServers().Add(makeServer("b.test", true, {{"127.0.0.2", "Beta listed"}}, false, "Beta List"));
        settings.BlacklistServers().Add(
            makeServer("c.test", true, {{"127.0.0.2", "Gamma listed"}}, false, "Gamma List"));
        table = std::make_unique<quarlo::ResultsTable>(*list);
        model = &table->resultsModel();
        QObject::connect(list.get(), &quarlo::Addresslist::AddAddress, table.get(), &quarlo::ResultsTable::UpdateRow);
        QObject::connect(list.get(), &quarlo::Addresslist::UpdateAddress, table.get(),
                         &quarlo::ResultsTable::UpdateRow);
        QObject::connect(list.get(), &quarlo::Addresslist::DeleteAddress, table.get(),
                         [this](const quarlo::AddressPtr& address) { model->removeAddress(address->Key()); });
    }

    // Adds the targets, starts a scan and sends the first pass of queries.
    void scan(const QStringList& targets = {})
    {
        for (const QString& target : targets) list->AddTarget(target);
        list->StartScan();
        list->Tick();
        table->RefreshData();
    }

    // Marks an answer of the list as the operator's refusal, not a listing.
    void refuseWith(const QString& zone, const QString& address, const QString& reason)
    {
        const quarlo::ResultCodePtr code = settings.BlacklistServers().Item(zone)->ResultCodes().Add(address, reason);
        ASSERT_TRUE(code);
        code->setListing(false);
    }

    void reply(const QString& target, const QString& zone, const QString& answer, int flag = 0)
    {
        ASSERT_TRUE(dns.answer(target + ":BlacklistCheck:" + zone, answer, flag))
            << target.toStdString() << " " << zone.toStdString();
    }

    void txt(const QString& answerKey, const QString& text)
    {
        const QStringList parts = answerKey.split(':'); // address, zone, answer
        directDns->reply(TagByTarget(*list, parts[0] + ":TXTRECORD:" + parts[1] + ":" + parts[2]), "",
                         {{text, quarlo::DnsRecord::TXT}});
    }

    QModelIndex index(const QString& key, int column = 0) const { return model->indexOfKey(key, column); }
    // What the model gives for a cell; the key names the row.
    QVariant at(const QString& key, int column, int role = Qt::DisplayRole) const
    {
        return index(key, column).data(role);
    }
    QString text(const QString& key, int column) const { return at(key, column).toString(); }
    // A brush's colour; invalid for no brush.
    QColor color(const QString& key, int column, int role = Qt::ForegroundRole) const
    {
        const QVariant brush = at(key, column, role);
        return brush.isValid() ? brush.value<QBrush>().color() : QColor();
    }
    QFont font(const QString& key, int column) const { return at(key, column, Qt::FontRole).value<QFont>(); }
    QString toolTip(const QString& key, int column) const { return at(key, column, Qt::ToolTipRole).toString(); }

    // A cell in one line: its text, then whichever of colour, bold, underline,
    // background, link and tooltip it has.
    QString look(const QString& key, int column) const
    {
        QStringList parts{text(key, column)};
        if (color(key, column).isValid()) parts << color(key, column).name();
        if (font(key, column).bold()) parts << "bold";
        if (font(key, column).underline()) parts << "underline";
        if (color(key, column, Qt::BackgroundRole).isValid())
            parts << "on " + color(key, column, Qt::BackgroundRole).name();
        if (at(key, column, quarlo::ResultsModel::LinkRole).isValid())
            parts << "link " + at(key, column, quarlo::ResultsModel::LinkRole).toString();
        if (!toolTip(key, column).isEmpty()) parts << "tip " + toolTip(key, column);
        return parts.join(" | ");
    }

    bool expanded(const QString& key) const { return table->isExpanded(index(key)); }
    static QString keyAt(const QModelIndex& index) { return index.data(quarlo::ResultsModel::KeyRole).toString(); }

    // The keys of the rows under the row with that key; the address rows for no key.
    QStringList childKeys(const QString& key = {}) const
    {
        QStringList keys;
        const QModelIndex parent = index(key);
        for (int row = 0; row < model->rowCount(parent); ++row) keys << keyAt(model->index(row, 0, parent));
        return keys;
    }

    void showTable()
    {
        table->resize(1600, 500);
        table->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(table.get()));
    }

    MemoryRegistryBackend backend;
    quarlo::Registry registry;
    quarlo::Settings settings;
    FakeDnsLookup dns;
    FakeDirectDns* directDns = nullptr;
    std::unique_ptr<quarlo::Addresslist> list;
    std::unique_ptr<quarlo::ResultsTable> table;
    quarlo::ResultsModel* model = nullptr;
};
