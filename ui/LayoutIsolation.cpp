#include "ui/LayoutIsolation.h"

#include <QLabel>
#include <QLayout>
#include <QResizeEvent>

namespace {

class LabelHost : public QWidget {
public:
    LabelHost(QLabel* label, QWidget* parent)
        : QWidget(parent), label_(label), hint_(label->sizeHint()), minimumHint_(label->minimumSizeHint()) {
        setSizePolicy(label->sizePolicy());
    }
    QSize sizeHint() const override { return hint_; }
    QSize minimumSizeHint() const override { return minimumHint_; }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        label_->setGeometry(rect());
    }

private:
    QLabel* label_;
    QSize hint_;
    QSize minimumHint_;
};

QLayout* LayoutHolding(QLayout* layout, QWidget* w) {
    if (!layout) return nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w) return layout;
        if (QLayout* inner = LayoutHolding(item->layout(), w)) return inner;
    }
    return nullptr;
}

}  // namespace

QWidget* IsolateFromLayout(QLabel* label) {
    QWidget* parent = label->parentWidget();
    if (!parent) return nullptr;
    QLayout* layout = LayoutHolding(parent->layout(), label);
    if (!layout) return nullptr;   // not in a layout: nothing to isolate from
    auto* host = new LabelHost(label, parent);
    host->setObjectName(label->objectName() + QStringLiteral("_host"));
    delete layout->replaceWidget(label, host);
    label->setParent(host);
    label->setGeometry(host->rect());
    label->show();
    return host;
}
