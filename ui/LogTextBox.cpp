#include "ui/LogTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <climits>

#include "ui/DisplayLanguage.h"

namespace {
constexpr qint64 kFollowIntervalMs = 100;
}

int LogTextBox::Document::blockCount() const { return static_cast<int>(box_->lineStarts_.size()); }

int LogTextBox::Document::characterCount() const {
    return static_cast<int>(box_->utf16Size_ - box_->crCount_ + 1);
}

LogTextBox::LogTextBox(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

LogTextBox::~LogTextBox() = default;

void LogTextBox::bringInPending() const {
    if (!bringIn_ || bringingIn_) return;
    bringingIn_ = true;
    bringIn_();   // appends through the owner's pointer to this box
    bringingIn_ = false;
}

QString LogTextBox::text() const {
    bringInPending();
    return QString::fromUtf8(bytes_);
}

void LogTextBox::setText(const QString& text) {
    bringInPending();   // what came before the new text is replaced with the rest
    bytes_ = Shown(text).toUtf8();
    bytes_.squeeze();
    if (sink_ && !bytes_.isEmpty()) sink_(std::string_view(bytes_.constData(), std::size_t(bytes_.size())));
    utf16Size_ = 0;
    lineStarts_.assign(1, 0);
    crCount_ = 0;
    longestLine_ = 0;
    selectAll_ = false;
    indexLines(0);
    trimToLimit();
    viewChanged();
}

void LogTextBox::appendText(const QString& piece) {
    if (piece.isEmpty()) return;
    bringInPending();
    const qsizetype from = bytes_.size();
    bytes_ += Shown(piece).toUtf8();
    appended(from);
}

void LogTextBox::appendUtf8(std::string_view piece) {
    if (piece.empty()) return;
    bringInPending();
    const qsizetype from = bytes_.size();
    if (CurrentDisplayLanguage() == DisplayLanguage::Chinese)
        bytes_.append(piece.data(), static_cast<qsizetype>(piece.size()));
    else
        bytes_ += Shown(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size()))).toUtf8();
    appended(from);
}

void LogTextBox::appended(qsizetype from) {
    if (sink_) sink_(std::string_view(bytes_.constData() + from, std::size_t(bytes_.size() - from)));
    indexLines(from);
    if (lineLimit_ > 0 && lineCount() > lineLimit_ + lineLimit_ / 8) trimToLimit();
    viewChanged();
}

void LogTextBox::trimToLimit() {
    if (lineLimit_ <= 0 || lineCount() <= lineLimit_) return;
    const std::size_t drop = lineStarts_.size() - std::size_t(lineLimit_);
    const qsizetype cut = lineStarts_[drop];
    const auto* d = reinterpret_cast<const unsigned char*>(bytes_.constData());
    qsizetype units = 0, crs = 0;
    for (qsizetype i = 0; i < cut; ++i) {
        units += (d[i] & 0xC0) != 0x80;
        units += d[i] >= 0xF0;
        crs += d[i] == '\r';
    }
    bytes_.remove(0, cut);
    lineStarts_.erase(lineStarts_.begin(), lineStarts_.begin() + std::ptrdiff_t(drop));
    for (qsizetype& start : lineStarts_) start -= cut;
    utf16Size_ -= units;
    crCount_ -= crs;
    selectAll_ = false;
}

void LogTextBox::indexLines(qsizetype from) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes_.constData());
    const qsizetype n = bytes_.size();
    qsizetype start = lineStarts_.back();
    qsizetype units = 0;
    for (qsizetype i = from; i < n; ++i) {
        const unsigned char c = d[i];
        // A lead or single byte starts a character; a four-byte one takes two UTF-16 units.
        units += (c & 0xC0) != 0x80;
        units += c >= 0xF0;
        if (c == '\r') {
            ++crCount_;
        } else if (c == '\n') {
            longestLine_ = std::max(longestLine_, i - start);
            start = i + 1;
            lineStarts_.push_back(start);
        }
    }
    utf16Size_ += units;
    longestLine_ = std::max(longestLine_, n - start);
}

qsizetype LogTextBox::lineLength(qsizetype line) const {
    const qsizetype start = lineStarts_[static_cast<std::size_t>(line)];
    const qsizetype end = line + 1 < lineCount() ? lineStarts_[static_cast<std::size_t>(line + 1)] - 1
                                                 : bytes_.size();
    return end - start;
}

QString LogTextBox::lineView(qsizetype line, qsizetype maxBytes) const {
    const qsizetype len = std::min(lineLength(line), maxBytes);
    QString s = QString::fromUtf8(bytes_.constData() + lineStarts_[static_cast<std::size_t>(line)], len);
    s.remove(QLatin1Char('\r'));
    return s;
}

QString LogTextBox::lineText(qsizetype line) const {
    if (line < 0 || line >= lineCount()) return QString();
    return lineView(line, lineLength(line));
}

QString LogTextBox::toPlainText() const {
    QString s = text();
    s.remove(QLatin1Char('\r'));
    return s;
}

LogTextBox::Caret LogTextBox::textCursor() const {
    bringInPending();
    // Every change leaves the caret at the end.
    const int end = static_cast<int>(utf16Size_ - crCount_);
    return Caret(end, end);
}

void LogTextBox::selectAll() {
    selectAll_ = true;
    viewport()->update();
}

void LogTextBox::copy() const {
    if (!hasSelection()) return;
    if (QClipboard* cb = QGuiApplication::clipboard()) cb->setText(toPlainText());
}

void LogTextBox::viewChanged() {
    // Appends come in bursts: the scroll bars and the repaint follow once per burst, and
    // at most every kFollowIntervalMs while lines stream in (a traffic log of hundreds of
    // lines a second is not read line by line; repainting it at the window's rate was
    // most of a busy console's painting). A first line after a quiet spell shows at once.
    if (syncPending_) return;
    syncPending_ = true;
    const qint64 since = lastSync_.isValid() ? lastSync_.elapsed() : kFollowIntervalMs;
    const int wait = since >= kFollowIntervalMs ? 0 : static_cast<int>(kFollowIntervalMs - since);
    QTimer::singleShot(wait, this, [this] {
        syncPending_ = false;
        lastSync_.start();
        syncScrollBars();
        viewport()->update();
    });
}

void LogTextBox::syncScrollBars() {
    const QFontMetrics fm(font());
    const int lineH = std::max(1, fm.lineSpacing());
    const int visible = std::max(1, viewport()->height() / lineH);
    const qsizetype lines = lineCount();
    const int vmax = static_cast<int>(std::min<qsizetype>(std::max<qsizetype>(0, lines - visible), INT_MAX));
    verticalScrollBar()->setRange(0, vmax);
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setValue(vmax);   // the newest line in view

    const qsizetype painted = std::min(longestLine_, kPaintedLineLimit + 1);
    const qint64 width = static_cast<qint64>(painted) * fm.averageCharWidth() + 2 * fm.averageCharWidth();
    const int hmax = static_cast<int>(std::clamp<qint64>(width - viewport()->width(), 0, INT_MAX));
    horizontalScrollBar()->setRange(0, hmax);
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(std::max(1, fm.averageCharWidth()));
}

void LogTextBox::paintEvent(QPaintEvent*) {
    bringInPending();
    QPainter p(viewport());
    const QFontMetrics fm(font());
    const int lineH = std::max(1, fm.lineSpacing());
    const int margin = 4;
    const int x = margin - horizontalScrollBar()->value();
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype rows = viewport()->height() / lineH + 1;
    const QPalette& pal = palette();
    const bool selected = hasSelection();
    p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    for (qsizetype r = 0; r < rows && first + r < lineCount(); ++r) {
        const qsizetype line = first + r;
        const int y = static_cast<int>(r) * lineH;
        // Four bytes at most per UTF-16 unit: enough bytes for the painted characters.
        QString s = lineView(line, 4 * (kPaintedLineLimit + 1));
        if (s.size() > kPaintedLineLimit) {   // a very long line is shown cut
            s.truncate(kPaintedLineLimit);
            s += QChar(0x2026);
        }
        if (selected) p.fillRect(QRect(0, y, viewport()->width(), lineH), pal.color(QPalette::Highlight));
        p.drawText(x, y + fm.ascent(), s);
    }
}

void LogTextBox::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    syncScrollBars();
}

void LogTextBox::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange) syncScrollBars();
}

void LogTextBox::keyPressEvent(QKeyEvent* e) {
    if (e == QKeySequence::SelectAll) {
        selectAll();
        e->accept();
        return;
    }
    if (e == QKeySequence::Copy) {
        copy();
        e->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void LogTextBox::mousePressEvent(QMouseEvent* e) {
    if (selectAll_) {
        selectAll_ = false;
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(e);
}

void LogTextBox::mouseDoubleClickEvent(QMouseEvent* e) {
    const int lineH = std::max(1, QFontMetrics(font()).lineSpacing());
    const qsizetype line = verticalScrollBar()->value() + qsizetype(e->position().y()) / lineH;
    if (line >= 0 && line < lineCount()) emit lineDoubleClicked(line);
    QAbstractScrollArea::mouseDoubleClickEvent(e);
}
