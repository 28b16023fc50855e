#include <LMLog.h>
#include <LMLogMessage.h>
#include <XmlWriter.h>

#include <QDomDocument>
#include <QTest>

#include <limits>

namespace {
const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");

QStringList s_captured;

// One element "a" with one text attribute "v".
QString writeOneAttribute(const QString &value)
{
    QString out;
    XmlWriter writer(&out);
    writer.startElement(QStringLiteral("a"));
    writer.attribute(QStringLiteral("v"), value);
    writer.endElement(QStringLiteral("a"));
    return out;
}
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_captured << message;
}
} // namespace

class TestLMLogMessage : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    // XML writer
    void writerEmptyElement();
    void writerEscapesAttributeValues();
    void writerEscapesEntitiesAgain();
    void writerNeverWritesForbiddenControls();
    void writerIntegers();
    void writerNestedElements();
    void writerAutomaticLineBreaks();

    // Log message record
    void saveExactForm();
    void saveSubstitutions();
    void roundTrip_data();
    void roundTrip();
    void roundTripKeepsZone();
    void loadRebuildsLineBreaks();
    void loadBadType();
    void loadOtherElementLeavesEmpty();
    void loadUnparsableKeepsRecord();
    void copyAndAssign();
};

void TestLMLogMessage::cleanup()
{
    LMLog(QString(), 0).setMode(lmlog::Encodage);
}

void TestLMLogMessage::writerEmptyElement()
{
    QString out;
    {
        XmlWriter writer(&out);
        writer.startElement(QStringLiteral("Device"));
        writer.endElement(QStringLiteral("Device"));
    }
    QCOMPARE(out, kDeclaration + QStringLiteral("\n<Device/>"));
}

void TestLMLogMessage::writerEscapesAttributeValues()
{
    QCOMPARE(writeOneAttribute(QStringLiteral("x&y<z>'q\"\t\nü")),
        kDeclaration + QStringLiteral("\n<a v=\"x&amp;y&lt;z&gt;&apos;q&quot;\t\nü\"/>"));
}

void TestLMLogMessage::writerEscapesEntitiesAgain()
{
    QCOMPARE(writeOneAttribute(QStringLiteral("&amp;&lt;")),
        kDeclaration + QStringLiteral("\n<a v=\"&amp;amp;&amp;lt;\"/>"));
}

void TestLMLogMessage::writerNeverWritesForbiddenControls()
{
    QString all;
    for (char16_t c = 0; c < 0x20; ++c)
        all.append(QChar(c));
    QString expected(0x20, QChar::ReplacementCharacter);
    expected[int('\t')] = QLatin1Char('\t');
    expected[int('\n')] = QLatin1Char('\n');
    expected[int('\r')] = QLatin1Char('\r');
    const QString out = writeOneAttribute(QStringLiteral("Proj") + all + QStringLiteral("<1>"));
    QCOMPARE(out,
        kDeclaration + QStringLiteral("\n<a v=\"Proj") + expected
            + QStringLiteral("&lt;1&gt;\"/>"));

    // A name holding them must not cost the whole document at the next load.
    QDomDocument document;
    QString error;
    QVERIFY2(document.setContent(out, &error), qPrintable(error));
    QVERIFY(document.documentElement()
                .attribute(QStringLiteral("v"))
                .startsWith(QStringLiteral("Proj") + QChar::ReplacementCharacter));
}

void TestLMLogMessage::writerIntegers()
{
    QString out;
    XmlWriter writer(&out);
    writer.startElement(QStringLiteral("n"));
    writer.attribute(QStringLiteral("i"), -1);
    writer.attribute(QStringLiteral("min"), std::numeric_limits<int>::min());
    writer.attribute(QStringLiteral("u"), std::numeric_limits<quint64>::max());
    writer.attribute(QStringLiteral("z"), quint64(0));
    writer.endElement(QStringLiteral("n"));
    QCOMPARE(out,
        kDeclaration
            + QStringLiteral("\n<n i=\"-1\" min=\"-2147483648\" u=\"18446744073709551615\" "
                             "z=\"0\"/>"));
}

void TestLMLogMessage::writerNestedElements()
{
    QString out;
    XmlWriter writer(&out);
    writer.startElement(QStringLiteral("Show"));
    writer.attribute(QStringLiteral("key"), 1);
    writer.startElement(QStringLiteral("Channel"));
    writer.attribute(QStringLiteral("id"), 3);
    writer.endElement(QStringLiteral("Channel"));
    writer.startElement(QStringLiteral("Channel"));
    writer.endElement(QStringLiteral("Channel"));
    writer.endElement(QStringLiteral("Show"));
    QCOMPARE(out,
        kDeclaration + QStringLiteral("\n<Show key=\"1\"><Channel id=\"3\"/><Channel/></Show>"));
}

void TestLMLogMessage::writerAutomaticLineBreaks()
{
    QString out;
    {
        XmlWriter writer(&out);
        writer.setAutoLineBreaks(true);
        writer.startElement(QStringLiteral("a"));
        writer.startElement(QStringLiteral("b"));
        writer.attribute(QStringLiteral("x"), 1);
        writer.startElement(QStringLiteral("c"));
        writer.endElement(QStringLiteral("c"));
        writer.endElement(QStringLiteral("b"));
        writer.startElement(QStringLiteral("d"));
        writer.endElement(QStringLiteral("d"));
        writer.endElement(QStringLiteral("a"));
    }
    QCOMPARE(out,
        kDeclaration
            + QStringLiteral("\n<a>\n    <b x=\"1\">\n        <c/>\n    </b>\n    <d/>\n</a>\n"));

    // An unfinished document still ends with a line break.
    QString partial;
    {
        XmlWriter writer(&partial);
        writer.setAutoLineBreaks(true);
        writer.startElement(QStringLiteral("a"));
    }
    QCOMPARE(partial, kDeclaration + QStringLiteral("\n<a\n"));
}

void TestLMLogMessage::saveExactForm()
{
    const LMLogMessage message(QStringLiteral("Show saved"), LOG::INFO,
        QDateTime(QDate(2024, 5, 1), QTime(10, 11, 12, 345)));
    QCOMPARE(message.save(),
        kDeclaration
            + QStringLiteral("|<LMLogMessage message=\"Show saved\" type=\"8\" "
                             "datetime=\"2024-05-01T10:11:12.345\"/>"));
    const LMLogMessage utc(QStringLiteral("u"), LOG::FATAL,
        QDateTime(QDate(2024, 5, 1), QTime(10, 11, 12, 5), Qt::UTC));
    QVERIFY(utc.save().endsWith(QStringLiteral("datetime=\"2024-05-01T10:11:12.005Z\"/>")));
    QVERIFY(LMLogMessage(QString(), LOG::logType(0), QDateTime())
                .save()
                .endsWith(QStringLiteral("<LMLogMessage message=\"\" type=\"0\" datetime=\"\"/>")));
}

void TestLMLogMessage::saveSubstitutions()
{
    const LMLogMessage message(QStringLiteral("a|b\nc*d\x0B"), LOG::WARNING, QDateTime());
    const QString text = message.save();
    QVERIFY(!text.contains(QLatin1Char('\n')));
    QVERIFY(!text.contains(QLatin1Char('*')));
    QCOMPARE(text.count(QLatin1Char('|')), 2);
    // The writer never lets a vertical tab through, so the only ones in the
    // text stand for "*".
    QVERIFY(text.contains(QStringLiteral("message=\"ab|c\x0B"
                                         "d\uFFFD\"")));

    // The parser normalises the restored raw line break to a space; the
    // message's own vertical tab comes back as U+FFFD, not as "*".
    const LMLogMessage back(text);
    QCOMPARE(back.message(), QStringLiteral("ab c*d\uFFFD"));

    // Another control character no longer makes the saved text unreadable.
    const LMLogMessage bell(
        LMLogMessage(QStringLiteral("ring\x07"), LOG::INFO, QDateTime()).save());
    QCOMPARE(bell.message(), QStringLiteral("ring\uFFFD"));
    QCOMPARE(bell.type(), LOG::INFO);
}

void TestLMLogMessage::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::newRow("plain") << QStringLiteral("Device ready") << int(LOG::INFO);
    QTest::newRow("markup") << QStringLiteral("a & b < c > d \"q\" 'a' &amp;")
                            << int(LOG::CRITICAL);
    QTest::newRow("asterisk") << QStringLiteral("*** alarm ***") << int(LOG::FATAL);
    QTest::newRow("unicode") << QString::fromUtf8("Grüße 日本 \xF0\x9F\x98\x80") << int(LOG::DEBUG);
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("odd type") << QStringLiteral("x") << -77;
}

void TestLMLogMessage::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    const QDateTime when = QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58, 999));
    const LMLogMessage original(text, LOG::logType(type), when);
    const LMLogMessage back(original.save());
    QCOMPARE(back.message(), text);
    QCOMPARE(int(back.type()), type);
    QCOMPARE(back.datetime(), when);
    QCOMPARE(back.datetime().toMSecsSinceEpoch(), when.toMSecsSinceEpoch());
}

void TestLMLogMessage::roundTripKeepsZone()
{
    const QDateTime utc(QDate(2024, 2, 29), QTime(1, 2, 3, 4), Qt::UTC);
    const LMLogMessage back(LMLogMessage(QStringLiteral("z"), LOG::INFO, utc).save());
    QCOMPARE(back.datetime().toMSecsSinceEpoch(), utc.toMSecsSinceEpoch());
    QCOMPARE(back.datetime().timeSpec(), Qt::UTC);
}

void TestLMLogMessage::loadRebuildsLineBreaks()
{
    const LMLogMessage back(LMLogMessage(
        QStringLiteral("line one\nline two"), LOG::WARNING, QDateTime::currentDateTime())
                                .save());
    // The parser sees a raw line break inside the attribute and normalises it
    // to a space, as XML requires.
    QCOMPARE(back.message(), QStringLiteral("line one line two"));
    QCOMPARE(back.type(), LOG::WARNING);

    // An encoded line break (&#10;) written by another producer survives.
    const LMLogMessage encoded(
        kDeclaration + QStringLiteral("|<LMLogMessage message=\"a&#10;b\" type=\"4\"/>"));
    QCOMPARE(encoded.message(), QStringLiteral("a\nb"));
    QVERIFY(!encoded.datetime().isValid());

    // Tabs are written raw as well and come back as spaces.
    const LMLogMessage tab(LMLogMessage(QStringLiteral("a\tb"), LOG::INFO, QDateTime()).save());
    QCOMPARE(tab.message(), QStringLiteral("a b"));
}

void TestLMLogMessage::loadBadType()
{
    const LMLogMessage message(kDeclaration
        + QStringLiteral("|<LMLogMessage message=\"m\" type=\"abc\" datetime=\"garbage\"/>"));
    QCOMPARE(message.message(), QStringLiteral("m"));
    QCOMPARE(int(message.type()), 0);
    QVERIFY(!message.datetime().isValid());
}

void TestLMLogMessage::loadOtherElementLeavesEmpty()
{
    const LMLogMessage message(
        kDeclaration + QStringLiteral("|<Other message=\"m\" type=\"8\" datetime=\"x\"/>"));
    QVERIFY(message.message().isEmpty());
    QCOMPARE(int(message.type()), 0);
    QVERIFY(message.datetime().isNull());

    LMLogMessage kept(QStringLiteral("keep"), LOG::INFO, QDateTime::currentDateTime());
    kept.load(kDeclaration + QStringLiteral("|<Other message=\"m\"/>"));
    QCOMPARE(kept.message(), QStringLiteral("keep"));
}

void TestLMLogMessage::loadUnparsableKeepsRecord()
{
    const QDateTime when = QDateTime::currentDateTime();
    LMLogMessage message(QStringLiteral("keep"), LOG::CRITICAL, when);

    s_captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    message.load(QStringLiteral("<LMLogMessage message=\"unterminated"));
    LMLog(QString(), 0).setMode(lmlog::Repetition);
    message.load(QStringLiteral("not xml at all"));
    qInstallMessageHandler(previous);

    QCOMPARE(message.message(), QStringLiteral("keep"));
    QCOMPARE(message.type(), LOG::CRITICAL);
    QCOMPARE(message.datetime(), when);
    // One info line while INFO is wanted, none after.
    QCOMPARE(s_captured.size(), 1);
    QVERIFY2(s_captured.first().startsWith(QStringLiteral("[LMLOG] Parsing error: Line 1 column ")),
        qPrintable(s_captured.first()));
}

void TestLMLogMessage::copyAndAssign()
{
    const LMLogMessage original(QStringLiteral("orig"), LOG::WARNING, QDateTime::currentDateTime());
    LMLogMessage copy(original);
    QCOMPARE(copy.message(), original.message());
    LMLogMessage assigned(QStringLiteral("other"), LOG::INFO, QDateTime());
    assigned = original;
    QCOMPARE(assigned.message(), QStringLiteral("orig"));
    QCOMPARE(assigned.type(), LOG::WARNING);
    QCOMPARE(assigned.datetime(), original.datetime());
    QVariant variant = QVariant::fromValue(original);
    QCOMPARE(variant.value<LMLogMessage>().message(), QStringLiteral("orig"));
}

QTEST_GUILESS_MAIN(TestLMLogMessage)
#include "tst_lmlogmessage.moc"
