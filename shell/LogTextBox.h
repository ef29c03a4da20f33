#pragma once
// A read-mostly text box that holds its text exactly (CR LF kept) and appends in
// time proportional to the appended text, not to the text already there.
#include <QPlainTextEdit>
#include <QString>

class LogTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogTextBox(QWidget* parent = nullptr);
    const QString& text() const { return text_; }   // exactly what the box holds
    qsizetype length() const { return text_.size(); }
    void setText(const QString& text);               // replace all; caret to the end
    void appendText(const QString& piece);           // text += piece; caret to the end
private:
    void moveCaretToEnd();
    QString text_;
    bool updating_ = false;
};
