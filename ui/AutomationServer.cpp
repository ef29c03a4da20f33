#include "ui/AutomationServer.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractSpinBox>
#include <QListWidget>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

#include <QTableView>

#include <vector>

#include "ui/LogTextBox.h"
#include "ui/MsgBoxLog.h"

namespace {

const QStringList& WindowNames() {
    static const QStringList names = {
        QStringLiteral("frmMainDtu"),           QStringLiteral("FrmSetPort"),
        QStringLiteral("FrmInfrared"),          QStringLiteral("frmServerInfrared_TCP"),
        QStringLiteral("frmServerInfrared_UDP"), QStringLiteral("frmInfo"),
        QStringLiteral("frmTerminals"),         QStringLiteral("frmChart"),
        QStringLiteral("frmFrame"),             QStringLiteral("frmRetention"),
        QStringLiteral("frmFleet")};
    return names;
}

QJsonObject Ok() { return QJsonObject{{QStringLiteral("ok"), true}}; }
QJsonObject Fail(const QString& why) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}};
}

// The windows of the console that exist now (message boxes are not windows here).
QList<QWidget*> ConsoleWindows() {
    QList<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (WindowNames().contains(w->objectName()) && !qobject_cast<QMessageBox*>(w)) out.append(w);
    return out;
}

QWidget* FindWindow(const QString& name) {
    QWidget* hidden = nullptr;
    for (QWidget* w : ConsoleWindows()) {
        if (w->objectName() != name) continue;
        if (w->isVisible()) return w;
        if (!hidden) hidden = w;
    }
    return hidden;
}

// "txtIp(0)" -> "txtIp_0"; "SSTab1(1)" -> "SSTab1_1".
QString ObjectNameOf(const QString& control) {
    static const QRegularExpression re(QStringLiteral("^(.+)\\((\\d+)\\)$"));
    const auto m = re.match(control.trimmed());
    if (m.hasMatch()) return m.captured(1) + QLatin1Char('_') + m.captured(2);
    return control.trimmed();
}

// The window a control belongs to. A pop-up menu is a window of its own; it belongs
// to the window whose menu bar holds it.
QWidget* OwnerWindow(QObject* obj) {
    for (QObject* p = obj; p; p = p->parent()) {
        auto* w = qobject_cast<QWidget*>(p);
        if (!w) continue;
        if (qobject_cast<QMenu*>(w) && w->parentWidget()) continue;
        return w->window();
    }
    return nullptr;
}

// A control of `window` itself: the windows it owns (a console opened over the main
// window is its child object) keep their controls to themselves.
QObject* FindControl(QWidget* window, const QString& name) {
    const QList<QObject*> found = window->findChildren<QObject*>(name);
    auto first = [&](auto isKind) -> QObject* {
        for (QObject* o : found)
            if (isKind(o) && OwnerWindow(o) == window) return o;
        return nullptr;
    };
    if (QObject* o = first([](QObject* o) { return o->isWidgetType(); })) return o;
    if (QObject* o = first([](QObject* o) { return qobject_cast<QAction*>(o) != nullptr; })) return o;
    if (QObject* o = first([](QObject* o) { return qobject_cast<QTimer*>(o) != nullptr; })) return o;
    return first([](QObject*) { return true; });
}

QString ButtonText(const QAbstractButton* b) {
    return b->text();
}

QJsonArray ToArray(const QStringList& l) {
    QJsonArray a;
    for (const auto& s : l) a.append(s);
    return a;
}

// A control's own visibility flag: a control not hidden explicitly counts as
// visible even while its window or page is not shown. Windows report isVisible.
bool OwnVisible(const QWidget* w) {
    if (w->isWindow()) return w->isVisible();
    return !(w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide));
}

QJsonObject Describe(QObject* obj) {
    QJsonObject r = Ok();
    if (auto* w = qobject_cast<QWidget*>(obj)) {
        r[QStringLiteral("enabled")] = w->isEnabled();
        r[QStringLiteral("visible")] = OwnVisible(w);
    }
    if (auto* box = qobject_cast<LogTextBox*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("text");
        r[QStringLiteral("text")] = box->text();
    } else if (auto* le = qobject_cast<QLineEdit*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("text");
        r[QStringLiteral("text")] = le->text();
    } else if (auto* te = qobject_cast<QTextEdit*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("text");
        r[QStringLiteral("text")] = te->toPlainText();
    } else if (auto* pe = qobject_cast<QPlainTextEdit*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("text");
        r[QStringLiteral("text")] = pe->toPlainText();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("text");
        r[QStringLiteral("text")] = spin->text();
    } else if (auto* lb = qobject_cast<QLabel*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("label");
        r[QStringLiteral("text")] = lb->text();
    } else if (auto* cb = qobject_cast<QCheckBox*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("check");
        r[QStringLiteral("text")] = ButtonText(cb);
        r[QStringLiteral("value")] = int(cb->checkState()) == 2 ? 1 : (int(cb->checkState()) == 1 ? 2 : 0);
    } else if (auto* rb = qobject_cast<QRadioButton*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("option");
        r[QStringLiteral("text")] = ButtonText(rb);
        r[QStringLiteral("checked")] = rb->isChecked();
    } else if (auto* ab = qobject_cast<QAbstractButton*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("button");
        r[QStringLiteral("text")] = ButtonText(ab);
    } else if (auto* combo = qobject_cast<QComboBox*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("combo");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        r[QStringLiteral("items")] = ToArray(items);
        r[QStringLiteral("index")] = combo->currentIndex();
        r[QStringLiteral("text")] = combo->currentText();
    } else if (auto* list = qobject_cast<QListWidget*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("list");
        QStringList items;
        for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
        r[QStringLiteral("items")] = ToArray(items);
        r[QStringLiteral("index")] = list->currentRow();
        r[QStringLiteral("text")] = list->currentItem() ? list->currentItem()->text() : QString();
    } else if (auto* table = qobject_cast<QTableView*>(obj)) {
        // A table as shown: the visible columns' header texts, the rows in the
        // view's order (after its sorting and filtering).
        r[QStringLiteral("kind")] = QStringLiteral("table");
        const QAbstractItemModel* m = table->model();
        QJsonArray columns, rows;
        std::vector<int> shown;
        const int columnCount = m ? m->columnCount() : 0;
        for (int logical = 0; logical < columnCount; ++logical)
            if (!table->isColumnHidden(logical)) shown.push_back(logical);
        for (int c : shown) columns.append(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        for (int row = 0; m && row < m->rowCount(); ++row) {
            QJsonArray cells;
            for (int c : shown) cells.append(m->index(row, c).data(Qt::DisplayRole).toString());
            rows.append(cells);
        }
        r[QStringLiteral("columns")] = columns;
        r[QStringLiteral("rows")] = rows;
        r[QStringLiteral("index")] = table->currentIndex().isValid() ? table->currentIndex().row() : -1;
    } else if (auto* tabs = qobject_cast<QTabWidget*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("tabs");
        QStringList captions;
        for (int i = 0; i < tabs->count(); ++i) captions << tabs->tabText(i);
        r[QStringLiteral("tabs")] = ToArray(captions);
        r[QStringLiteral("index")] = tabs->currentIndex();
        r[QStringLiteral("text")] = tabs->currentIndex() >= 0 ? tabs->tabText(tabs->currentIndex()) : QString();
    } else if (auto* bar = qobject_cast<QStatusBar*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("statusbar");
        QStringList panels;
        // Panels the window hides (a state shown only when there is something to say) are left out.
        for (QLabel* l : bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            if (OwnVisible(l)) panels << l->text();
        if (panels.isEmpty()) {   // panels may sit one level deeper, inside the bar's own container
            for (QLabel* l : bar->findChildren<QLabel*>())
                if (OwnVisible(l)) panels << l->text();
        }
        r[QStringLiteral("panels")] = ToArray(panels);
        r[QStringLiteral("text")] = panels.isEmpty() ? bar->currentMessage() : panels.first();
    } else if (auto* action = qobject_cast<QAction*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("menu");
        r[QStringLiteral("text")] = action->text();
        r[QStringLiteral("enabled")] = action->isEnabled();
        r[QStringLiteral("visible")] = action->isVisible();
        if (action->isCheckable()) r[QStringLiteral("checked")] = action->isChecked();
    } else if (auto* menu = qobject_cast<QMenu*>(obj)) {
        // A menu of the menu bar ("文件", "有线设置", ...): its caption, and the
        // visibility of its entry in the bar rather than of its pop-up.
        r[QStringLiteral("kind")] = QStringLiteral("menu");
        r[QStringLiteral("text")] = menu->title();
        r[QStringLiteral("enabled")] = menu->menuAction()->isEnabled();
        r[QStringLiteral("visible")] = menu->menuAction()->isVisible();
    } else if (auto* timer = qobject_cast<QTimer*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("timer");
        r[QStringLiteral("running")] = timer->isActive();
        r[QStringLiteral("interval")] = timer->interval();
    } else if (auto* w = qobject_cast<QWidget*>(obj); w && w->isWindow()) {
        r[QStringLiteral("kind")] = QStringLiteral("window");
        r[QStringLiteral("title")] = w->windowTitle();
        r[QStringLiteral("text")] = w->windowTitle();
        r[QStringLiteral("modal")] = w->isModal();
    } else if (auto* g = qobject_cast<QGroupBox*>(obj)) {
        r[QStringLiteral("kind")] = QStringLiteral("frame");
        r[QStringLiteral("text")] = g->title();
    } else {
        r[QStringLiteral("kind")] = QStringLiteral("other");
        r[QStringLiteral("class")] = QString::fromLatin1(obj->metaObject()->className());
    }
    r[QStringLiteral("name")] = obj->objectName();
    return r;
}

QJsonObject BoxJson(const MsgBoxRecord& r) {
    return QJsonObject{{QStringLiteral("text"), r.text},
                       {QStringLiteral("title"), r.title},
                       {QStringLiteral("icon"), r.icon},
                       {QStringLiteral("buttons"), ToArray(r.buttons)}};
}

}  // namespace

AutomationServer::AutomationServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &AutomationServer::onNewConnection);
}

bool AutomationServer::listen(const QString& path) {
    QFile::remove(path);   // a stale socket file of an earlier run
    return server_->listen(path);
}

void AutomationServer::onNewConnection() {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
        connect(s, &QLocalSocket::readyRead, this, [this, s] { onReadyRead(s); });
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    }
}

void AutomationServer::onReadyRead(QLocalSocket* socket) {
    QPointer<QLocalSocket> guard(socket);
    while (guard && socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        if (line.isEmpty()) continue;
        QJsonParseError err{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
        QJsonObject answer;
        if (err.error != QJsonParseError::NoError || !doc.isObject())
            answer = Fail(QStringLiteral("bad request: not a JSON object"));
        else
            answer = handle(doc.object());
        socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
        socket->flush();
    }
}

QJsonObject AutomationServer::handle(const QJsonObject& req) {
    const QString op = req.value(QStringLiteral("op")).toString();
    if (op == QLatin1String("ping")) return Ok();

    if (op == QLatin1String("windows")) {
        QJsonArray list;
        for (QWidget* w : ConsoleWindows())
            list.append(QJsonObject{{QStringLiteral("name"), w->objectName()},
                                    {QStringLiteral("title"), w->windowTitle()},
                                    {QStringLiteral("visible"), w->isVisible()},
                                    {QStringLiteral("modal"), w->isModal()}});
        QJsonObject r = Ok();
        r[QStringLiteral("windows")] = list;
        return r;
    }

    if (op == QLatin1String("msgboxes") || op == QLatin1String("msglog")) {
        QJsonArray list;
        const QList<MsgBoxRecord> boxes = op == QLatin1String("msgboxes") ? OpenMsgBoxes() : MsgBoxLog();
        for (const auto& b : boxes) list.append(BoxJson(b));
        QJsonObject r = Ok();
        r[QStringLiteral("boxes")] = list;
        return r;
    }

    if (op == QLatin1String("answer")) {
        const QList<MsgBoxRecord> open = OpenMsgBoxes();
        if (open.isEmpty()) return Fail(QStringLiteral("no message box is open"));
        QPointer<QMessageBox> box = open.last().box;
        QAbstractButton* target = nullptr;
        if (req.contains(QStringLiteral("button")) && !req.value(QStringLiteral("button")).isNull()) {
            const QString want = req.value(QStringLiteral("button")).toString();
            for (QAbstractButton* b : box->buttons()) {
                const QString name = StandardButtonName(box->standardButton(b));
                QString plain = b->text();
                plain.remove(QLatin1Char('&'));
                if (name.compare(want, Qt::CaseInsensitive) == 0 || plain == want) target = b;
            }
            if (!target) return Fail(QStringLiteral("no such button: ") + want);
        } else {
            target = box->defaultButton();
            if (!target && !box->buttons().isEmpty()) target = box->buttons().first();
        }
        if (!target) return Fail(QStringLiteral("the message box has no button"));
        QPointer<QAbstractButton> t(target);
        QTimer::singleShot(0, qApp, [t] {
            if (t) t->click();
        });
        return Ok();
    }

    if (op == QLatin1String("close")) {
        const QString name = req.value(QStringLiteral("window")).toString();
        QWidget* w = FindWindow(name);
        if (!w) return Fail(QStringLiteral("no such window: ") + name);
        QPointer<QWidget> pw(w);
        QTimer::singleShot(0, qApp, [pw] {
            if (pw) pw->close();
        });
        return Ok();
    }

    if (op != QLatin1String("get") && op != QLatin1String("set") && op != QLatin1String("click") &&
        op != QLatin1String("select"))
        return Fail(QStringLiteral("unknown op: ") + op);

    const QString path = req.value(QStringLiteral("path")).toString();
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString windowName = slash < 0 ? path : path.left(slash);
    QWidget* window = FindWindow(windowName);
    if (!window) return Fail(QStringLiteral("no such window: ") + windowName);
    QObject* obj = window;
    if (slash >= 0) {
        const QString control = path.mid(slash + 1);
        obj = FindControl(window, ObjectNameOf(control));
        if (!obj) return Fail(QStringLiteral("no such control: ") + path);
    }

    if (op == QLatin1String("get")) return Describe(obj);

    if (op == QLatin1String("set")) {
        if (!req.value(QStringLiteral("text")).isString()) return Fail(QStringLiteral("set needs a text"));
        const QString text = req.value(QStringLiteral("text")).toString();
        if (auto* box = qobject_cast<LogTextBox*>(obj)) {
            box->setText(text);
        } else if (auto* le = qobject_cast<QLineEdit*>(obj)) {
            le->setText(text);
            emit le->textEdited(text);
        } else if (auto* te = qobject_cast<QTextEdit*>(obj)) {
            te->setPlainText(text);
        } else if (auto* pe = qobject_cast<QPlainTextEdit*>(obj)) {
            pe->setPlainText(text);
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(obj); spin && spin->findChild<QLineEdit*>()) {
            QLineEdit* edit = spin->findChild<QLineEdit*>();
            edit->setText(text);
            emit edit->textEdited(text);
            spin->interpretText();
        } else if (auto* combo = qobject_cast<QComboBox*>(obj); combo && combo->isEditable() && combo->lineEdit()) {
            combo->lineEdit()->setText(text);
            emit combo->lineEdit()->textEdited(text);
        } else {
            return Fail(QStringLiteral("not a text control: ") + path);
        }
        return Ok();
    }

    if (op == QLatin1String("click")) {
        QPointer<QObject> target(obj);
        if (qobject_cast<QAbstractButton*>(obj)) {
            QTimer::singleShot(0, qApp, [target] {
                if (auto* b = qobject_cast<QAbstractButton*>(target.data())) b->click();
            });
        } else if (qobject_cast<QAction*>(obj)) {
            QTimer::singleShot(0, qApp, [target] {
                if (auto* a = qobject_cast<QAction*>(target.data())) a->trigger();
            });
        } else {
            return Fail(QStringLiteral("not clickable: ") + path);
        }
        return Ok();
    }

    // select
    if (!req.value(QStringLiteral("index")).isDouble()) return Fail(QStringLiteral("select needs an index"));
    const int index = req.value(QStringLiteral("index")).toInt();
    QPointer<QObject> target(obj);
    if (auto* combo = qobject_cast<QComboBox*>(obj)) {
        if (index < 0 || index >= combo->count())
            return Fail(QStringLiteral("index %1 out of range for %2").arg(index).arg(path));
        QTimer::singleShot(0, qApp, [target, index] {
            auto* c = qobject_cast<QComboBox*>(target.data());
            if (!c || index >= c->count()) return;
            c->setCurrentIndex(index);
            emit c->activated(index);
        });
    } else if (auto* list = qobject_cast<QListWidget*>(obj)) {
        if (index < 0 || index >= list->count())
            return Fail(QStringLiteral("index %1 out of range for %2").arg(index).arg(path));
        QTimer::singleShot(0, qApp, [target, index] {
            auto* l = qobject_cast<QListWidget*>(target.data());
            if (!l || index >= l->count()) return;
            l->setCurrentRow(index);
            emit l->itemClicked(l->item(index));
        });
    } else if (auto* table = qobject_cast<QTableView*>(obj)) {
        // Row `index` as shown, as a click on its first cell.
        if (!table->model() || index < 0 || index >= table->model()->rowCount())
            return Fail(QStringLiteral("index %1 out of range for %2").arg(index).arg(path));
        QTimer::singleShot(0, qApp, [target, index] {
            auto* t = qobject_cast<QTableView*>(target.data());
            if (!t || !t->model() || index >= t->model()->rowCount()) return;
            const QModelIndex cell = t->model()->index(index, 0);
            t->setCurrentIndex(cell);
            emit t->clicked(cell);
        });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(obj)) {
        if (index < 0 || index >= tabs->count())
            return Fail(QStringLiteral("index %1 out of range for %2").arg(index).arg(path));
        QTimer::singleShot(0, qApp, [target, index] {
            if (auto* t = qobject_cast<QTabWidget*>(target.data())) t->setCurrentIndex(index);
        });
    } else {
        return Fail(QStringLiteral("not a combo, list, table or tab control: ") + path);
    }
    return Ok();
}

void StartAutomationFromEnvironment(QObject* parent) {
    const QString path = qEnvironmentVariable("HT6630_AUTOMATION");
    if (path.isEmpty()) return;
    auto* server = new AutomationServer(parent);
    if (!server->listen(path)) {
        qWarning("automation: cannot listen on %s", qPrintable(path));
        delete server;
    }
}
