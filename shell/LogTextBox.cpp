#include "shell/LogTextBox.h"

#include <QScrollBar>
#include <QTextCursor>

namespace {
// The view shows line breaks as paragraphs; CR characters are held only in text_.
QString ViewPiece(const QString& piece) {
    QString v = piece;
    v.remove(QLatin1Char('\r'));
    return v;
}
}  // namespace

LogTextBox::LogTextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // Anything that changes the view behind our back (an external setPlainText,
    // typing when made editable) re-synchronises the exact text from the view.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!updating_) text_ = toPlainText();
    });
}

void LogTextBox::setText(const QString& text) {
    updating_ = true;
    text_ = text;
    setPlainText(ViewPiece(text));
    updating_ = false;
    moveCaretToEnd();
}

void LogTextBox::appendText(const QString& piece) {
    if (piece.isEmpty()) return;
    updating_ = true;
    text_ += piece;
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(ViewPiece(piece));
    updating_ = false;
    moveCaretToEnd();
}

void LogTextBox::moveCaretToEnd() {
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    setTextCursor(c);   // also scrolls the newest line into view
}
