// The image button's picture sequence and the about box's year rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "AboutBox.h"
#include "ImageBtn.h"
#include "ViewTestApp.h"

namespace {


QPixmap Filled(const QColor& color) {
    QPixmap pixmap(20, 10);
    pixmap.fill(color);
    return pixmap;
}

QColor Shown(const TImageBtn& button) {
    const QPixmap picture = button.Picture();
    if (picture.isNull()) return QColor();
    return picture.toImage().pixelColor(0, 0);
}

class ImageBtnTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        button.SetPicture(Filled(Qt::green));
        button.SetPicture2(Filled(Qt::red));
        QObject::connect(&button, &TImageBtn::clicked, [this] { ++clicks; });
        button.show();
    }
    void Move(const QPoint& pos) {
        QMouseEvent move(QEvent::MouseMove, QPointF(pos), button.mapToGlobal(QPointF(pos)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&button, &move);
    }

    TImageBtn button;
    int clicks = 0;
};

TEST_F(ImageBtnTest, TakesTheSizeOfItsPicture) {
    EXPECT_EQ(button.size(), QSize(20, 10));
}

TEST_F(ImageBtnTest, PressMoveOutMoveInReleaseShowsPressedNormalPressedNormal) {
    std::vector<QColor> seen;
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    seen.push_back(Shown(button));
    Move(QPoint(25, 5));
    seen.push_back(Shown(button));
    Move(QPoint(-1, 5));
    seen.push_back(Shown(button));
    Move(QPoint(19, 9));
    seen.push_back(Shown(button));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(19, 9));
    seen.push_back(Shown(button));
    EXPECT_EQ(seen, (std::vector<QColor>{Qt::red, Qt::green, Qt::green, Qt::red, Qt::green}));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button.ShowingPressed());
}

TEST_F(ImageBtnTest, ReleaseOutsideIsNoClick) {
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    Move(QPoint(30, 5));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(30, 5));
    EXPECT_EQ(Shown(button), QColor(Qt::green));
    EXPECT_EQ(clicks, 0);
}

TEST_F(ImageBtnTest, RightButtonShowsPressedUntilReleaseWithoutClick) {
    QTest::mousePress(&button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(Shown(button), QColor(Qt::red));
    QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(Shown(button), QColor(Qt::green));
    EXPECT_EQ(clicks, 0);
}

TEST_F(ImageBtnTest, WithoutPressedPictureShowsNothingWhilePressed) {
    TImageBtn plain;
    plain.SetPicture(Filled(Qt::blue));
    plain.show();
    QTest::mousePress(&plain, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(plain.Picture().isNull());
    EXPECT_EQ(plain.size(), QSize(20, 10));  // an empty picture does not shrink it
    QTest::mouseRelease(&plain, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(Shown(plain), QColor(Qt::blue));
}

TEST(AboutBoxTest, YearTakesThePlaceOfTheFirstPlaceholder) {
    struct TCase {
        const char* text;
        int year;
        const char* expected;
    };
    const TCase cases[] = {
        {"Copyright © XXXX Vostrel", 2026, "Copyright © 2026 Vostrel"},
        {"XXXX-XXXX", 1999, "1999-XXXX"},
        {"XXXXX", 2026, "2026X"},
        {"ohne Platzhalter", 2026, "2026ohne Platzhalter"},
        {"", 7, "7"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TAboutBox::InsertYear(QString::fromUtf8(c.text), c.year), QString::fromUtf8(c.expected));
    }
}

TEST(AboutBoxTest, EachBoxShowsTheCurrentYear) {
    EnsureApplication();
    const QString year = QString::number(QDate::currentDate().year());
    for (int i = 0; i < 2; ++i) {
        TAboutBox box;
        EXPECT_EQ(box.windowTitle(), "Info");
        EXPECT_EQ(box.size(), QSize(664, 453));
        EXPECT_TRUE(box.YearLine->text().contains(year));
        EXPECT_FALSE(box.YearLine->text().contains("XXXX"));
        EXPECT_EQ(box.BitBtn1->size(), QSize(181, 37));
    }
}

}  // namespace
