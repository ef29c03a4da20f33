// The bar-code field's 13-character limit as the operator meets it at the keyboard:
// blanks around the bar code do not count (every button trims them), a 14th
// character does.
#include <QLineEdit>
#include <QtTest>

#include "ui/ParameterPages.h"

class TstSerialBarCodeLimit : public QObject {
    Q_OBJECT
private slots:
    void blanksAroundTheBarCodeDoNotCount() {
        ParameterPages p;
        p.show();
        QLineEdit* e = p.lineEdit(QStringLiteral("txtBarCode"));
        QVERIFY(e);
        QTest::keyClicks(e, QStringLiteral("  2012345678901 "));
        QCOMPARE(e->text(), QStringLiteral("  2012345678901 "));
        // A 14th character, after the trailing blank or before the leading one, is refused.
        QTest::keyClicks(e, QStringLiteral("5"));
        QCOMPARE(e->text(), QStringLiteral("  2012345678901 "));
        e->setCursorPosition(0);
        QTest::keyClicks(e, QStringLiteral("7 "));
        QCOMPARE(e->text(), QStringLiteral("   2012345678901 "));
    }

    void aFourteenthCharacterIsRefused() {
        ParameterPages p;
        p.show();
        QLineEdit* e = p.lineEdit(QStringLiteral("txtBarCode"));
        QTest::keyClicks(e, QStringLiteral("20123456789012"));
        QCOMPARE(e->text(), QStringLiteral("2012345678901"));
        // A blank inside the bar code counts: it is not trimmed away.
        e->clear();
        QTest::keyClicks(e, QStringLiteral("201234 5678901"));
        QCOMPARE(e->text(), QStringLiteral("201234 567890"));
    }
};

QTEST_MAIN(TstSerialBarCodeLimit)
#include "tst_serial_barcode_limit.moc"
