// The table of emissivity and reflected temperature by image code.

#include "refltable.h"

#include <QtTest>

#include <clocale>

using ardentis::match_refl_code;
using ardentis::parse_refl_table;

using Rows = QVector<QVector<double>>;
Q_DECLARE_METATYPE(Rows)

namespace
{
Rows rows_of(const std::vector<double> &table)
{
    Rows rows;
    for (size_t i = 0; i + 2 < table.size(); i += 3)
        rows.append({table[i], table[i + 1], table[i + 2]});
    return rows;
}
} // namespace

class TestReflTable : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void match_data();
    void match();
    void longTableKeepsEveryRow();
    void decimalCommaLocale();
    void unreadableFile();
};

void TestReflTable::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Rows>("rows");
    const Rows two{{101, 0.95, 21.5}, {102, 0.96, 22}};
    QTest::newRow("final line feed") << QByteArray("101,0.95,21.5\n102,0.96,22\n") << two;
    QTest::newRow("no final line feed") << QByteArray("101,0.95,21.5\n102,0.96,22") << two;
    QTest::newRow("CRLF") << QByteArray("101,0.95,21.5\r\n102,0.96,22\r\n") << two;
    QTest::newRow("empty file") << QByteArray() << Rows{};
    QTest::newRow("header row") << QByteArray("Code,Emissivity,Reflected\n101,0.95,21.5\n")
                                << Rows{{0, 0, 0}, {101, 0.95, 21.5}};
    QTest::newRow("spaces and units")
        << QByteArray("101,  0.95, 21.5 C\n") << Rows{{101, 0.95, 21.5}};
    QTest::newRow("fourth comma item")
        << QByteArray("101,0.95,21.5,note\n") << Rows{{101, 0.95, 21.5}};
    QTest::newRow("decimal commas misread") << QByteArray("101,0,95,21,5\n") << Rows{{101, 0, 95}};
    QTest::newRow("empty line counts") << QByteArray("101,0.95,21.5\n\n102,0.96,22\n")
                                       << Rows{{101, 0.95, 21.5}, {0, 0, 0}, {102, 0.96, 22}};
    QTest::newRow("missing fields") << QByteArray("7\n8,0.9\n") << Rows{{7, 0, 0}, {8, 0.9, 0}};
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "101,0.95,21.5\n")
                                     << Rows{{101, 0.95, 21.5}};
    QTest::newRow("exponent") << QByteArray("1.01e2,9.5E-1,-2.15e+1\n") << Rows{{101, 0.95, -21.5}};
}

void TestReflTable::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(Rows, rows);
    const Rows actual =
        rows_of(parse_refl_table(std::string_view(text.constData(), size_t(text.size()))));
    QCOMPARE(actual.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < 3; ++c)
            QVERIFY2(
                qAbs(actual[r][c] - rows[r][c]) < 1e-12,
                qPrintable(QStringLiteral("row %1 column %2: %3").arg(r).arg(c).arg(actual[r][c])));
}

void TestReflTable::match_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("code");
    QTest::addColumn<int>("row");
    const QByteArray two("101,0.95,21.5\n102,0.96,22\n");
    QTest::newRow("second row") << two << 102.0 << 2;
    QTest::newRow("absent") << two << 103.0 << 0;
    QTest::newRow("empty table") << QByteArray() << 0.0 << 0;
    QTest::newRow("header matches 0") << QByteArray("Code,E,T\n101,0.95,21.5\n") << 0.0 << 1;
    QTest::newRow("duplicate codes: first") << QByteArray("5,0.9,1\n5,0.8,2\n") << 5.0 << 1;
    QTest::newRow("101.0 matches 101") << QByteArray("101.0,0.9,1\n") << 101.0 << 1;
    QTest::newRow("0101 matches 101") << QByteArray("0101,0.9,1\n") << 101.0 << 1;
    QTest::newRow("101.5 does not") << QByteArray("101.5,0.9,1\n") << 101.0 << 0;
    QTest::newRow("nan matches nothing") << QByteArray("0,0.9,1\n") << std::nan("") << 0;
}

void TestReflTable::match()
{
    QFETCH(QByteArray, text);
    QFETCH(double, code);
    QFETCH(int, row);
    QCOMPARE(match_refl_code(parse_refl_table(text.toStdString()), code), row);
}

void TestReflTable::longTableKeepsEveryRow()
{
    QByteArray text;
    for (int i = 1; i <= 250; ++i)
        text += QByteArray::number(i) + ",0.9," + QByteArray::number(i % 30) + "\n";
    const auto table = parse_refl_table(text.toStdString());
    QCOMPARE(table.size(), size_t(750));
    QCOMPARE(match_refl_code(table, 101), 101);
    QCOMPARE(match_refl_code(table, 250), 250);
    QCOMPARE(table[249 * 3 + 2], 10.0);
}

void TestReflTable::decimalCommaLocale()
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        QSKIP("the de_DE.UTF-8 locale is not installed");
    const Rows rows = rows_of(parse_refl_table("101,0.95,21.5\n"));
    std::setlocale(LC_ALL, "C");
    QCOMPARE(rows, (Rows{{101, 0.95, 21.5}}));
}

void TestReflTable::unreadableFile()
{
    QVERIFY(ardentis::load_refl_table("/nonexistent/table.csv").empty());
}

QTEST_APPLESS_MAIN(TestReflTable)
#include "tst_refltable.moc"
