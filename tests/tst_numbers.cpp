// Reading and writing numbers as the C library does in the "C" locale.

#include "cnumber.h"

#include <QtTest>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

using ardentis::format_fixed6;
using ardentis::leading_number;
using ardentis::NumberSyntax;

class TestNumbers : public QObject
{
    Q_OBJECT

private slots:
    void leading_data();
    void leading();
    void fixed6_data();
    void fixed6();
    void fixed6MatchesPrintf();
    void decimalCommaLocale();
};

void TestNumbers::leading_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("atof");
    QTest::addColumn<double>("decimal");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("value and line end") << QByteArray("0.95\n") << 0.95 << 0.95;
    QTest::newRow("spaces, sign, unit") << QByteArray("  -12.5 C") << -12.5 << -12.5;
    QTest::newRow("empty") << QByteArray("") << 0.0 << 0.0;
    QTest::newRow("no number") << QByteArray("Time") << 0.0 << 0.0;
    QTest::newRow("plus sign") << QByteArray("+3") << 3.0 << 3.0;
    QTest::newRow("exponent") << QByteArray("1.5e3x") << 1500.0 << 1500.0;
    QTest::newRow("dangling exponent") << QByteArray("2e") << 2.0 << 2.0;
    QTest::newRow("leading point") << QByteArray(".5") << 0.5 << 0.5;
    QTest::newRow("trailing point") << QByteArray("7.") << 7.0 << 7.0;
    QTest::newRow("decimal comma stops") << QByteArray("0,95") << 0.0 << 0.0;
    QTest::newRow("leading zeros") << QByteArray("0101") << 101.0 << 101.0;
    QTest::newRow("carriage return") << QByteArray("21.5\r") << 21.5 << 21.5;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 16.0 << 0.0;
    QTest::newRow("infinity word") << QByteArray("inf") << inf << 0.0;
    QTest::newRow("overflow") << QByteArray("1e999") << inf << inf;
    QTest::newRow("underflow") << QByteArray("1e-999") << 0.0 << 0.0;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "5")
                                     << 0.0 << 0.0;
}

void TestNumbers::leading()
{
    QFETCH(QByteArray, text);
    QFETCH(double, atof);
    QFETCH(double, decimal);
    const std::string_view sv(text.constData(), size_t(text.size()));
    QCOMPARE(leading_number(sv, NumberSyntax::Atof), atof);
    QCOMPARE(leading_number(sv, NumberSyntax::Decimal), decimal);
    // Both agree with the C library in the "C" locale where they overlap.
    if (!text.startsWith("0x") && !text.startsWith("inf"))
        QCOMPARE(leading_number(sv), std::atof(text.constData()));
}

void TestNumbers::fixed6_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("24.5") << 24.5 << "24.500000";
    QTest::newRow("negative zero") << -0.0 << "-0.000000";
    QTest::newRow("zero times negative") << 0.0 * -3.0 << "-0.000000";
    QTest::newRow("image number") << 123.0 << "123.000000";
    QTest::newRow("nan") << std::nan("") << "nan";
    QTest::newRow("negative nan") << -std::nan("") << "nan";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << "-inf";
    QTest::newRow("exact tie rounds to even") << 0.0078125 << "0.007812";
    QTest::newRow("rounds up") << 21.4249999999 << "21.425000";
}

void TestNumbers::fixed6()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(format_fixed6(value)), text);
}

void TestNumbers::fixed6MatchesPrintf()
{
    QRandomGenerator rng(42);
    char buffer[512];
    for (int i = 0; i < 20000; ++i) {
        const double v = (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(-8, 12));
        std::snprintf(buffer, sizeof buffer, "%f", v);
        QCOMPARE(format_fixed6(v), std::string(buffer));
    }
}

void TestNumbers::decimalCommaLocale()
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        QSKIP("the de_DE.UTF-8 locale is not installed");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", 0.95);
    QCOMPARE(QByteArray(buffer), QByteArray("0,95")); // the locale really writes commas
    QCOMPARE(leading_number("0.95"), 0.95);
    QCOMPARE(leading_number("0.95", NumberSyntax::Decimal), 0.95);
    QCOMPARE(format_fixed6(-12.25), std::string("-12.250000"));
    std::setlocale(LC_ALL, "C");
}

QTEST_APPLESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
