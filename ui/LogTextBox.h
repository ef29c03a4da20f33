#pragma once
// A read-only log box that holds its text exactly (CR LF kept) and appends in
// time proportional to the appended text, not to the text already there.
//
// The box keeps the exact text and the offsets where its lines start, nothing
// else: it paints only the lines in view (line breaks are LF; CR characters are
// held in the text but not shown). After every change the caret and the view go
// to the end. Ctrl+A selects everything, Ctrl+C copies the selection.
//
// The text is held as UTF-8: these logs are mostly digits, letters and blanks,
// so it takes about half the memory of UTF-16, and a log without a size limit
// (the network log) grows by little more than its characters. Lengths and
// positions are still counted in UTF-16 units, as a text box counts them.
#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <string_view>
#include <vector>

class LogTextBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    // What the view holds: its lines (blocks) and characters, as a text document
    // would count them (line breaks count one each, plus one for the end).
    class Document {
    public:
        int blockCount() const;
        int characterCount() const;
    private:
        friend class LogTextBox;
        explicit Document(const LogTextBox* box) : box_(box) {}
        const LogTextBox* box_;
    };
    // The caret, in view characters (CR characters are not counted).
    class Caret {
    public:
        int position() const { return position_; }
        bool atEnd() const { return position_ == end_; }
    private:
        friend class LogTextBox;
        Caret(int position, int end) : position_(position), end_(end) {}
        int position_;
        int end_;
    };

    explicit LogTextBox(QWidget* parent = nullptr);
    ~LogTextBox() override;

    // Text that its owner has gathered but not yet appended: it is brought in
    // before anything reads, counts or paints the box, so every reader sees the
    // box exactly as if each piece had been appended as it came.
    void setPendingSource(std::function<void()> bringIn) { bringIn_ = std::move(bringIn); }

    // Everything appended is also handed to the sink as it is shown (the log files).
    void setSink(std::function<void(std::string_view)> sink) { sink_ = std::move(sink); }

    // The box keeps this many of its newest lines at least (0: all); older lines
    // are let go in steps of an eighth, so an append stays cheap. On disk, the
    // sink has them all.
    static constexpr qsizetype kDefaultLineLimit = 100'000;
    void setLineLimit(qsizetype lines) { lineLimit_ = lines; trimToLimit(); }
    qsizetype lineLimit() const { return lineLimit_; }

    QString text() const;                            // exactly what the box holds
    qsizetype length() const { bringInPending(); return utf16Size_; }  // in UTF-16 units
    void setText(const QString& text);               // replace all; caret to the end
    void appendText(const QString& piece);           // text += piece; caret to the end
    void appendUtf8(std::string_view piece);         // the same, for text already in UTF-8

    // The view: the text without CR characters, lines split at LF.
    QString toPlainText() const;
    void setPlainText(const QString& text) { setText(text); }
    const Document* document() const { bringInPending(); return &document_; }
    Caret textCursor() const;
    qsizetype lineCount() const { bringInPending(); return static_cast<qsizetype>(lineStarts_.size()); }
    QString lineText(qsizetype line) const;           // one line as shown (no CR, no LF)

    // The box is always read-only; kept for the callers that state it.
    void setReadOnly(bool) {}
    bool isReadOnly() const { return true; }

    bool hasSelection() const { return selectAll_ && !bytes_.isEmpty(); }
    void selectAll();
    void copy() const;

    // Characters of one line painted at most; a longer line is shown cut with "…".
    static constexpr qsizetype kPaintedLineLimit = 2000;

signals:
    void lineDoubleClicked(qsizetype line);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void bringInPending() const;
    void indexLines(qsizetype from);   // record the line starts in bytes_[from..]
    void appended(qsizetype from);     // index, hand to the sink, trim, show
    void trimToLimit();
    void viewChanged();                // coalesced: scroll bars to the end, repaint
    void syncScrollBars();
    qsizetype lineLength(qsizetype line) const;   // in bytes, LF excluded
    QString lineView(qsizetype line, qsizetype maxBytes) const;   // CR removed

    QByteArray bytes_;                        // the text, UTF-8
    qsizetype utf16Size_ = 0;                 // its length in UTF-16 units
    std::vector<qsizetype> lineStarts_{0};   // offset in bytes_ where each line starts
    qsizetype crCount_ = 0;                   // CR characters in the text
    qsizetype longestLine_ = 0;               // in bytes, for the horizontal range
    bool selectAll_ = false;
    bool syncPending_ = false;
    QElapsedTimer lastSync_;                  // when the view last followed the text
    std::function<void()> bringIn_;
    std::function<void(std::string_view)> sink_;
    qsizetype lineLimit_ = kDefaultLineLimit;
    mutable bool bringingIn_ = false;
    Document document_{this};
};
