#include "ui/FleetWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTabWidget>

#include "core/FleetClient.h"
#include "protocol/Frame.h"
#include "ui/ChartWindow.h"
#include "ui/DisplayLanguage.h"
#include "ui/ColumnWidths.h"
#include "ui/FleetModel.h"
#include "ui/IndexedList.h"
#include "ui/LayoutIsolation.h"
#include "ui/MsgBox.h"
#include "ui/ParameterPages.h"
#include "ui_FleetWindow.h"

using core::FleetClient;

namespace {
// Everything but the password is remembered.
const char* const kKeys[][2] = {{"fleet/url", "txtBrokerUrl"},   {"fleet/user", "txtBrokerUser"},
                                {"fleet/ca", "txtBrokerCa"},     {"fleet/cert", "txtBrokerCert"},
                                {"fleet/key", "txtBrokerKey"},   {"fleet/prefix", "txtPrefix"}};

QString StateText(FleetClient::State state, const QString& detail, const QString& url) {
    switch (state) {
    case FleetClient::State::Disconnected: return Shown(QStringLiteral("未连接"));
    case FleetClient::State::Connecting:
        // After a failed attempt its reason: the broker may not be there yet.
        if (!detail.isEmpty()) return Shown(QStringLiteral("正在连接 %1…（%2）")).arg(url, detail);
        return Shown(QStringLiteral("正在连接 %1…")).arg(url);
    case FleetClient::State::Connected: return Shown(QStringLiteral("已连接 %1")).arg(url);
    case FleetClient::State::Reconnecting: return Shown(QStringLiteral("连接中断，正在重新连接 %1…（%2）")).arg(url, detail);
    case FleetClient::State::Refused:
        // MQTT 3.1.1: 4 bad user name or password, 5 not authorised.
        if (detail.startsWith(QLatin1String("4 ")) || detail.startsWith(QLatin1String("5 ")))
            return Shown(QStringLiteral("服务器拒绝连接：用户名或密码错误（%1）")).arg(detail.mid(2));
        return Shown(QStringLiteral("服务器拒绝连接：%1")).arg(detail);
    }
    return {};
}

// A waiting request's state as the table shows it.
QString StateShown(core::FleetRequestState state) {
    switch (state) {
    case core::FleetRequestState::Published: return Shown(QStringLiteral("已发布"));
    case core::FleetRequestState::Queued: return Shown(QStringLiteral("排队中"));
    case core::FleetRequestState::Sent: return Shown(QStringLiteral("已发送"));
    default: return core::FleetRequestStateName(state);
    }
}

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }
}  // namespace

FleetWindow::FleetWindow(core::FleetClient& client, const QString& settingsPath, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::FleetWindowForm>()), client_(client),
      settingsPath_(settingsPath), model_(new FleetModel(client, this)), proxy_(new QSortFilterProxyModel(this)) {
    ui_->setupUi(this);
    statusPanel_ = new QLabel(ui_->StatusBar1);
    statusPanel_->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    ui_->StatusBar1->addWidget(statusPanel_, 1);
    ui_->StatusBar1->setSizeGripEnabled(false);
    IsolateFromLayout(ui_->LblInf);

    const QSettings settings(settingsPath_, QSettings::IniFormat);
    for (const auto& [key, name] : kKeys) {
        auto* edit = findChild<QLineEdit*>(QString::fromLatin1(name));
        edit->setText(settings.value(QString::fromLatin1(key), edit->text()).toString());
    }

    ui_->pages->placeBarCodeOnFirstPage();
    ui_->pages->tabs()->setObjectName(QStringLiteral("SSTab1_1"));
    ui_->pages->resetToLoadState();
    ui_->pages->setConfigMode(true);
    connect(ui_->pages, &ParameterPages::requestClicked, this, &FleetWindow::onRequest);
    auto modeChanged = [this] { ui_->pages->setConfigMode(ui_->opMode_0->isChecked()); };
    connect(ui_->opMode_0, &QRadioButton::toggled, this, modeChanged);
    connect(ui_->opMode_1, &QRadioButton::toggled, this, modeChanged);

    proxy_->setSourceModel(model_);
    proxy_->setSortRole(FleetModel::SortRole);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui_->tblFleet->setModel(proxy_);
    ui_->tblFleet->sortByColumn(FleetModel::BarCode, Qt::AscendingOrder);
    // Fixed row heights and column widths: 20,000 rows lay out without measuring each.
    ui_->tblFleet->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui_->tblFleet->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui_->tblFleet->verticalHeader()->hide();
    FitColumnsToTexts(ui_->tblFleet, {{FleetModel::BarCode, QStringLiteral("0000000000000")},
                                      {FleetModel::LastSeen, QStringLiteral("0000-00-00 00:00:00")}});
    connect(ui_->txtFilter, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
    connect(ui_->txtFilter, &QLineEdit::textChanged, this, &FleetWindow::updateCount);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &FleetWindow::updateCount);
    connect(proxy_, &QAbstractItemModel::dataChanged, this, &FleetWindow::updateCount);
    auto barCodeOf = [this](const QModelIndex& i) { return model_->barCodeAt(proxy_->mapToSource(i).row()); };
    connect(ui_->tblFleet, &QTableView::clicked, this, [this, barCodeOf](const QModelIndex& i) { chooseTerminal(barCodeOf(i)); });
    connect(ui_->tblFleet, &QTableView::doubleClicked, this, [this, barCodeOf](const QModelIndex& i) { openChart(barCodeOf(i)); });
    connect(ui_->cmdChart, &QPushButton::clicked, this, [this] { openChart(ui_->TxtDQID->text().trimmed()); });

    List1_ = std::make_unique<IndexedList>(ui_->List1);
    List2_ = std::make_unique<IndexedList>(ui_->List2);
    for (QListWidget* list : {ui_->List1, ui_->List2}) {
        connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { chooseTerminal(item->text()); });
        connect(list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { openChart(item->text()); });
    }

    ui_->tblRequests->setColumnCount(4);
    ui_->tblRequests->setHorizontalHeaderLabels({Shown(QStringLiteral("编号")), Shown(QStringLiteral("条形码")),
                                                 Shown(QStringLiteral("操作")), Shown(QStringLiteral("状态"))});
    ui_->tblRequests->horizontalHeader()->setStretchLastSection(true);
    ui_->tblRequests->verticalHeader()->hide();
    connect(ui_->tblRequests, &QTableWidget::itemSelectionChanged, this, &FleetWindow::showRequests);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, &FleetWindow::cmdCancel_Click);
    connect(ui_->cmdConnect, &QPushButton::clicked, this, &FleetWindow::cmdConnect_Click);
    connect(ui_->cmdDisconnect, &QPushButton::clicked, this, &FleetWindow::cmdDisconnect_Click);

    connect(&client_, &FleetClient::stateChanged, this, &FleetWindow::showState);
    connect(&client_, &FleetClient::onlineChanged, this, &FleetWindow::showOnline);
    connect(&client_, &FleetClient::requestsChanged, this, &FleetWindow::showRequests);
    connect(&client_, &FleetClient::requestStateChanged, this,
            [this](const core::FleetRequest& r) { ui_->LblInf->setText(Shown(core::FleetRequestText(r))); });
    connect(&client_, &FleetClient::requestEnded, this, &FleetWindow::showEnded);

    // What the client knew before this window was made.
    for (int row = 0; row < client_.terminalCount(); ++row)
        showOnline(client_.terminal(row).barCode, client_.terminal(row).online);
    showState();
    showRequests();
    updateCount();
}

FleetWindow::~FleetWindow() = default;

void FleetWindow::cmdConnect_Click() {
    core::FleetSettings s;
    s.url = ui_->txtBrokerUrl->text().trimmed();
    s.user = ui_->txtBrokerUser->text();
    s.password = ui_->txtBrokerPassword->text();
    s.caFile = ui_->txtBrokerCa->text().trimmed();
    s.certFile = ui_->txtBrokerCert->text().trimmed();
    s.keyFile = ui_->txtBrokerKey->text().trimmed();
    s.prefix = ui_->txtPrefix->text().trimmed();
    QSettings settings(settingsPath_, QSettings::IniFormat);
    for (const auto& [key, name] : kKeys)
        settings.setValue(QString::fromLatin1(key), findChild<QLineEdit*>(QString::fromLatin1(name))->text());
    QString error;
    if (!client_.connectTo(s, &error)) {
        if (!core::ParseBrokerUrl(s.url)) MsgBox(this, QStringLiteral("服务器地址应为 mqtt://主机:端口 或 mqtts://主机:端口"), QStringLiteral("连接"), BoxIcon::Critical);
        else statusPanel_->setText(Shown(QStringLiteral("无法连接：")) + error);
    }
}

void FleetWindow::cmdDisconnect_Click() { client_.disconnectFromBroker(); }

void FleetWindow::cmdCancel_Click() {
    const QList<QTableWidgetItem*> chosen = ui_->tblRequests->selectedItems();
    if (!chosen.isEmpty()) client_.cancelRequest(ui_->tblRequests->item(chosen.first()->row(), 0)->text());
}

void FleetWindow::showState() {
    const FleetClient::State s = client_.state();
    statusPanel_->setText(StateText(s, client_.stateDetail(), client_.settings().url));
    const bool idle = s == FleetClient::State::Disconnected || s == FleetClient::State::Refused;
    ui_->cmdConnect->setEnabled(idle);
    ui_->cmdDisconnect->setEnabled(!idle);
}

void FleetWindow::showOnline(const QString& barCode, bool online) {
    IndexedList& to = online ? *List1_ : *List2_;
    IndexedList& from = online ? *List2_ : *List1_;
    from.removeAll(barCode);
    to.appendUnique(barCode);
}

void FleetWindow::showRequests() {
    const QList<core::FleetRequest> waiting = client_.waiting();
    auto* t = ui_->tblRequests;
    const QSignalBlocker quiet(t);
    const int chosen = t->selectedItems().isEmpty() ? -1 : t->selectedItems().first()->row();
    const QString chosenId = chosen >= 0 && t->item(chosen, 0) ? t->item(chosen, 0)->text() : QString();
    t->setRowCount(int(waiting.size()));
    bool cancellable = false;
    for (int row = 0; row < waiting.size(); ++row) {
        const core::FleetRequest& r = waiting[row];
        const auto name = ht6630::Entry(r.op).name;
        const QString texts[] = {r.id, r.barCode, Shown(QString::fromUtf8(name.data(), qsizetype(name.size()))),
                                 StateShown(r.state)};
        for (int c = 0; c < 4; ++c) {
            if (!t->item(row, c)) t->setItem(row, c, new QTableWidgetItem);
            t->item(row, c)->setText(texts[c]);
        }
        if (r.id == chosenId) {
            t->selectRow(row);
            cancellable = r.cancellable();
        }
    }
    ui_->cmdCancel->setEnabled(cancellable);
}

void FleetWindow::showEnded(const core::FleetResult& result) {
    ui_->pages->apply(result.fields);
    ui_->LblInf->setText(Shown(core::FleetResultText(result)));
}

void FleetWindow::chooseTerminal(const QString& barCode) {
    if (!barCode.trimmed().isEmpty()) ui_->TxtDQID->setText(barCode.trimmed());
}

void FleetWindow::updateCount() {
    int online = 0;
    for (int i = 0; i < client_.terminalCount(); ++i) online += client_.terminal(i).online;
    ui_->lblCount->setText(Shown(QStringLiteral("显示 %1 / 共 %2 个终端，在线 %3"))
                               .arg(proxy_->rowCount()).arg(model_->rowCount()).arg(online));
}

// The same checks and message boxes as the data-centre windows; the bar code in
// TxtDQID names the terminal's topic, so every request needs one.
void FleetWindow::onRequest(ht6630::Op op) {
    ui_->pages->clearBeforeRequest(op);
    const ht6630::FieldInputs inputs = ui_->pages->inputs();
    const ht6630::PayloadResult r = ht6630::BuildPayload(op, inputs);
    if (r.failure) {
        ShowCheckFailure(this, *r.failure);
        return;
    }
    if (auto failure = ht6630::CheckTargetBarCode(Utf8(ui_->TxtDQID->text()), "请选择要通讯设备的条形码")) {
        ShowCheckFailure(this, *failure);
        return;
    }
    const QString id = client_.sendRequest(ui_->TxtDQID->text().trimmed(), op, inputs, ui_->opMode_1->isChecked());
    if (id.isEmpty()) {
        ui_->LblInf->setText(Shown(QStringLiteral("提示信息:未连接服务器，请先连接！")));
        return;
    }
    for (const core::FleetRequest& w : client_.waiting())
        if (w.id == id) ui_->LblInf->setText(Shown(core::FleetRequestText(w)));
}

// The chart follows the terminal's readings from now on; it deletes itself when closed.
void FleetWindow::openChart(const QString& barCode) {
    if (barCode.isEmpty()) return;
    auto* chart = new ChartWindow(barCode, this);
    client_.followReadings(barCode);
    core::FleetClient* client = &client_;
    connect(client, &FleetClient::readingsReceived, chart, [chart, barCode](const QString& bar, const core::TerminalSeries& s) {
        if (bar == barCode) chart->addReadings(s);
    });
    connect(chart, &QObject::destroyed, client, [client, barCode] { client->unfollowReadings(barCode); });
    chart->show();
}
