#include "platform/qt/ipv4_edit.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace {
using Octets = std::array<uint8_t, 4>;

struct Ipv4EditTest : ::testing::Test {
    Ipv4EditTest() {
        edit.resize(180, 28);
        edit.show();
        QApplication::setActiveWindow(&edit);
        active = QTest::qWaitForWindowActive(&edit, 2000);
        edit.Field(0)->setFocus();
    }
    platform::Ipv4Edit edit;
    bool active = false;
};

TEST_F(Ipv4EditTest, SetsAndReadsDottedText) {
    EXPECT_TRUE(edit.IsBlank());
    EXPECT_EQ(edit.Octets(), (Octets{0, 0, 0, 0}));
    ASSERT_TRUE(edit.SetText(QStringLiteral("192.168.0.199")));
    EXPECT_EQ(edit.Octets(), (Octets{192, 168, 0, 199}));
    EXPECT_EQ(edit.Text(), QStringLiteral("192.168.0.199"));
    EXPECT_FALSE(edit.IsBlank());

    for (const char* bad :
         {"1.2.3", "1.2.3.256", "a.b.c.d", "1.2.3.4.5", "", "-1.2.3.4", "1..3.4"}) {
        EXPECT_FALSE(edit.SetText(QString::fromLatin1(bad))) << bad;
        EXPECT_EQ(edit.Octets(), (Octets{192, 168, 0, 199})) << bad;
    }
    edit.SetOctets({255, 255, 255, 0});
    EXPECT_EQ(edit.Text(), QStringLiteral("255.255.255.0"));
}

TEST_F(Ipv4EditTest, EmptyFieldReadsAsZero) {
    edit.Clear();
    edit.Field(1)->setText(QStringLiteral("7"));
    EXPECT_EQ(edit.Octets(), (Octets{0, 7, 0, 0}));
    EXPECT_FALSE(edit.IsBlank());
}

TEST_F(Ipv4EditTest, EachFieldTakesOnlyZeroTo255) {
    QLineEdit* field = edit.Field(3);
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {
        {"255", "255"}, {"256", "25"}, {"300", "30"}, {"999", "99"},
        {"1a2", "12"},  {"-5", "5"},   {"0", "0"},    {"1234", "123"},
    };
    for (const auto& c : cases) {
        field->clear();
        field->setFocus();
        QTest::keyClicks(field, QString::fromLatin1(c.typed));
        EXPECT_EQ(field->text(), QString::fromLatin1(c.kept)) << c.typed;
    }
}

// Text that bypasses the keyboard's checks (set by a program or over accessibility) is put right
// at once: the field shows exactly the octet that is sent.
TEST_F(Ipv4EditTest, FieldsShowTheOctetSentHoweverTheTextArrives) {
    const struct {
        const char* given;
        const char* shown;
        uint8_t sent;
    } cases[] = {
        {"999", "255", 255},
        {"256", "255", 255},
        {"abc", "", 0},
        {"0199", "199", 199},
        {" 12", "12", 12},
        {"1a2", "12", 12},
        {"-7", "7", 7},
        {"000000000042", "42", 42},
        {"77777777777777", "255", 255},
        {"01", "01", 1},
        {"", "", 0},
    };
    QLineEdit* field = edit.Field(2);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
    ASSERT_NE(accessible, nullptr);
    for (const auto& c : cases) {
        for (bool overAccessibility : {false, true}) {
            SCOPED_TRACE(std::string(c.given) + (overAccessibility ? " (accessibility)" : ""));
            field->setText(QStringLiteral("3"));
            if (!overAccessibility) {
                field->setText(QString::fromLatin1(c.given));
                EXPECT_EQ(field->text(), QString::fromLatin1(c.shown));
                EXPECT_EQ(edit.Octets()[2], c.sent);
                continue;
            }
            // Accessibility may refuse the text (the field keeps "3") or take it; either way the
            // field shows what is sent.
            accessible->setText(QAccessible::Value, QString::fromLatin1(c.given));
            const QString shown = field->text();
            EXPECT_TRUE(shown == QStringLiteral("3") || shown == QString::fromLatin1(c.shown));
            EXPECT_EQ(shown.toInt(), edit.Octets()[2]);
        }
    }
}

TEST_F(Ipv4EditTest, TypingAWholeAddressFillsTheFourFields) {
    ASSERT_TRUE(active);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("10."));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("200"));  // three digits move on
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3."));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("44"));
    EXPECT_EQ(edit.Octets(), (Octets{10, 200, 3, 44}));
}

}  // namespace
