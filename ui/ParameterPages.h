#pragma once
// The parameter pages shared by the serial, TCP and UDP consoles: the bar-code
// row, the tabs "基本参数设置", "采集终端参数配置", "实时温度湿度" with every field and
// option, the fifteen request buttons, the clock options Option5 and the timer Tim.
// The buttons only emit requestClicked; each console decides how a request travels.
//
// Control arrays are named "<name>_<index>" as Qt object names (txtIp_0 for
// txtIp(0)); the automation interface maps the design's "txtIp(0)" to them.
#include <QWidget>

#include "protocol/Catalogue.h"
#include "protocol/Fields.h"

class QTabWidget;
class QLineEdit;
class QComboBox;
class QRadioButton;
class QPushButton;
class QTimer;

class ParameterPages : public QWidget {
    Q_OBJECT
public:
    // txtBarCode holds at most 13 characters, not counting the blanks around them.
    static constexpr int kBarCodeLength = 13;

    explicit ParameterPages(QWidget* parent = nullptr);
    ~ParameterPages() override;

    QTabWidget* tabs() const;         // the page control; consoles may add pages and rename it
    QWidget* barCodeGroup() const;    // txtBarCode, cmdBarCodeR, cmdBarCodeW; consoles place it

    ht6630::FieldInputs inputs() const;          // the fields as typed
    void apply(const ht6630::FieldValues& values);   // what a decoded response shows
    // Empties the fields a button clears before its request (cmdCJR also chooses Option5(1)).
    void clearBeforeRequest(ht6630::Op op);
    // Sleep mode disables the bar-code, IP and spare-IP buttons.
    void setConfigMode(bool configMode);
    // Load values: Combo1 "TCP"/"UDP" with "TCP" selected, Option5(0), opSleep(0), Tim running.
    void resetToLoadState();
    // Empties every text box of the pages and the bar-code row (a fresh load).
    void clearAllFields();
    // The data-centre consoles carry the bar-code row at the top of page 0.
    void placeBarCodeOnFirstPage();

    QLineEdit* lineEdit(const QString& objectName) const;   // e.g. "txtBarCode", "txtIp_3"
    QComboBox* Combo1() const;
    QRadioButton* Option5(int i) const;
    QTimer* Tim() const;
    QPushButton* button(const QString& objectName) const;   // e.g. "cmdIpR"
    QRadioButton* radio(const QString& objectName) const;   // e.g. "optEnabled_1"

signals:
    void requestClicked(ht6630::Op op);

private:
    struct Ui;
    Ui* ui_;
};
