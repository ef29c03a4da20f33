// The log box's own view: the exact text (CR LF kept) beside the line index the
// view paints from; the view follows the end; very long lines stay exact.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "ui/LogTextBox.h"

class TestLogView : public QObject {
    Q_OBJECT
private slots:
    void linesFollowTheExactText() {
        LogTextBox box;
        QCOMPARE(box.lineCount(), qsizetype(1));
        QCOMPARE(box.document()->characterCount(), 1);
        box.appendText(QStringLiteral("ab\r"));
        box.appendText(QStringLiteral("\ncd\r\n\r\n"));
        box.appendText(QStringLiteral("e\rf"));
        QCOMPARE(box.text(), QStringLiteral("ab\r\ncd\r\n\r\ne\rf"));
        QCOMPARE(box.lineCount(), qsizetype(4));
        QCOMPARE(box.lineText(0), QStringLiteral("ab"));
        QCOMPARE(box.lineText(1), QStringLiteral("cd"));
        QCOMPARE(box.lineText(2), QString());
        QCOMPARE(box.lineText(3), QStringLiteral("ef"));
        QCOMPARE(box.toPlainText(), QStringLiteral("ab\ncd\n\nef"));
        QCOMPARE(box.document()->blockCount(), 4);
        QCOMPARE(box.document()->characterCount(), 10);   // 9 shown characters and the end
        QVERIFY(box.textCursor().atEnd());
        box.setText(QStringLiteral("x\r\n"));
        QCOMPARE(box.lineCount(), qsizetype(2));
        QCOMPARE(box.lineText(1), QString());
        box.setText(QString());
        QCOMPARE(box.lineCount(), qsizetype(1));
        QCOMPARE(box.text(), QString());
    }

    void aVeryLongLineStaysExact() {
        LogTextBox box;
        box.resize(300, 120);
        box.show();
        const QString big(3 * 1024 * 1024, QLatin1Char('A'));
        box.appendText(big + QStringLiteral("\r\n"));
        box.appendText(QStringLiteral("next"));
        QCOMPARE(box.length(), big.size() + 6);
        QCOMPARE(box.lineText(0).size(), big.size());
        QCOMPARE(box.lineText(1), QStringLiteral("next"));
        QCoreApplication::processEvents();
        box.repaint();   // paints a cut line, does not change the text
        QCOMPARE(box.text(), big + QStringLiteral("\r\nnext"));
    }

    void theViewFollowsTheEnd() {
        LogTextBox box;
        box.resize(300, 120);
        box.show();
        for (int i = 0; i < 500; ++i) box.appendText(QStringLiteral("line %1\r\n").arg(i));
        QTRY_VERIFY(box.verticalScrollBar()->maximum() > 0);
        QCOMPARE(box.verticalScrollBar()->value(), box.verticalScrollBar()->maximum());
        box.verticalScrollBar()->setValue(0);
        box.appendText(QStringLiteral("last\r\n"));
        QTRY_COMPARE(box.verticalScrollBar()->value(), box.verticalScrollBar()->maximum());
    }

    void selectAllAndCopy() {
        LogTextBox box;
        box.show();
        box.appendText(QStringLiteral("a\r\nb"));
        QVERIFY(!box.hasSelection());
        QTest::keySequence(&box, QKeySequence::SelectAll);
        QVERIFY(box.hasSelection());
        QApplication::clipboard()->clear();
        QTest::keySequence(&box, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a\nb"));
        QCOMPARE(box.text(), QStringLiteral("a\r\nb"));
    }
};

QTEST_MAIN(TestLogView)
#include "tst_perf_log_view.moc"
