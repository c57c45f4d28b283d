#include "lookup/widgets/hint_list_box.h"

#include <QFontMetrics>
#include <QImage>
#include <QTest>
#include <stdexcept>

#include "lookup/widgets/custom_hint.h"
#include "tests/app/app_test_registry.h"

using vorlano::TCustomHint;
using vorlano::THintListBox;

namespace {

// A 140-pixel list with one short and two long items, shown, with the
// pointer placed by the test.
struct TListFixture {
    THintListBox list;
    QPoint cursor;

    TListFixture() {
        list.setGeometry(100, 100, 140, 277);
        list.setFrameShape(QFrame::NoFrame);
        list.addItems({"house", QString(40, QChar('w')), QString(45, QChar('m')), "cat"});
        list.CursorPos = [this] { return cursor; };
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
    }
    QPoint ItemCenter(int i) const { return list.visualItemRect(list.item(i)).center(); }
    void MoveTo(int i) {
        cursor = list.viewport()->mapToGlobal(ItemCenter(i));
        list.PointerMovedTo(ItemCenter(i));
    }
};

}  // namespace

class THintListBoxTest : public QObject {
    Q_OBJECT
  private slots:
    void fitRule() {
        TListFixture f;
        const int client = f.list.ClientWidth();
        QVERIFY(f.list.Fits(client));  // exactly as wide as the client area fits
        QVERIFY(!f.list.Fits(client + 1));
        f.MoveTo(0);
        QVERIFY(!f.list.NeedsHint());
        QVERIFY(!f.list.HintPending());
    }

    void restingOnCutOffItemShowsHintAfterPause() {
        TListFixture f;
        f.MoveTo(1);
        QVERIFY(f.list.NeedsHint());
        QVERIFY(f.list.HintPending());
        QCOMPARE(f.list.ShowTimer().interval(), 800);
        QVERIFY(f.list.ShowTimer().isActive());
        QVERIFY(!f.list.HintVisible());
        QTRY_VERIFY_WITH_TIMEOUT(f.list.HintVisible(), 2000);
        QVERIFY(!f.list.HintPending());
        QCOMPARE(f.list.HideTimer().interval(), 3000);
        QVERIFY(f.list.HideTimer().isActive());

        // Lined up with the item's text, 4 wider than the text, 3 taller than the item.
        const QRect item = f.list.visualItemRect(f.list.item(1));
        const QPoint itemTopLeft = f.list.viewport()->mapToGlobal(item.topLeft());
        const QRect hint = f.list.HintWindow()->geometry();
        QCOMPARE(hint.topLeft(), itemTopLeft + QPoint(f.list.LeftOffest - 1, -1));
        QCOMPARE(hint.width(), f.list.TextWidth(f.list.item(1)->text()) + 4);
        QCOMPARE(hint.height(), item.height() + 3);
        QCOMPARE(f.list.HintWindow()->Text(), f.list.item(1)->text());

        // Moving to the next cut-off item moves the hint at once.
        f.MoveTo(2);
        QVERIFY(f.list.HintVisible());
        QCOMPARE(f.list.HintWindow()->Text(), f.list.item(2)->text());
        // A fitting item hides it.
        f.MoveTo(3);
        QVERIFY(!f.list.HintVisible());
        QVERIFY(!f.list.HideTimer().isActive());
    }

    void zeroPausesAndVetoes() {
        TListFixture f;
        f.list.ItemHintPause = 0;
        f.list.ItemHintHidePause = 0;
        f.MoveTo(1);
        QVERIFY(f.list.HintVisible());
        QVERIFY(!f.list.HideTimer().isActive());
        f.MoveTo(3);
        f.list.OnShowHint = [](QString& text, bool& show) {
            text = "changed";
            show = text.isEmpty();
        };
        f.MoveTo(2);
        QVERIFY(!f.list.HintVisible());
    }

    void pointerGoneBeforeDelayShowsNothing() {
        TListFixture f;
        f.MoveTo(1);
        f.cursor = QPoint(-500, -500);
        f.list.ShowItemHintNow();
        QVERIFY(!f.list.HintVisible());
    }

    void rightButtonHoldsHint() {
        TListFixture f;
        f.MoveTo(1);
        QTest::mousePress(f.list.viewport(), Qt::RightButton, {}, f.ItemCenter(1));
        QVERIFY(f.list.HintVisible());
        QTest::mouseRelease(f.list.viewport(), Qt::RightButton, {}, f.ItemCenter(1));
        QVERIFY(!f.list.HintVisible());
    }

    void keyOrClickEndsHint() {
        TListFixture f;
        f.list.ItemHintPause = 0;
        f.MoveTo(1);
        QVERIFY(f.list.HintVisible());
        QTest::keyClick(&f.list, Qt::Key_Down);
        QVERIFY(!f.list.HintVisible());
    }

    void hintStaysOnScreen_data() {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 800, 600);
        QTest::newRow("inside") << QRect(10, 10, 100, 16) << QRect(10, 10, 104, 19);
        QTest::newRow("past right") << QRect(750, 10, 100, 16) << QRect(696, 10, 104, 19);
        QTest::newRow("past bottom") << QRect(10, 590, 100, 16) << QRect(10, 581, 104, 19);
        QTest::newRow("negative") << QRect(-20, -5, 100, 16) << QRect(0, 0, 104, 19);
        QTest::newRow("wider than screen") << QRect(10, 10, 900, 16) << QRect(0, 10, 904, 19);
    }
    void hintStaysOnScreen() {
        QFETCH(QRect, rect);
        QFETCH(QRect, expected);
        QCOMPARE(TCustomHint::PlaceOnScreen(rect, QRect(0, 0, 800, 600)), expected);
    }

    void horizontalExtent() {
        TListFixture f;
        const int client = f.list.ClientWidth();
        for (int bad : {-1, 1, client}) {
            try {
                f.list.SetHorizontalExtent(bad);
                QFAIL("no error");
            } catch (const std::invalid_argument& e) {
                QCOMPARE(
                    QString(e.what()),
                    QString(
                        "Property HorizontalExtent must be 0 or a value greater than ClientWidth"));
            }
            QCOMPARE(f.list.HorizontalExtent(), 0);
        }
        f.list.SetHorizontalExtent(client + 100);
        QCOMPARE(f.list.HorizontalExtent(), client + 100);
        f.list.SetHorizontalExtent(0);
        QCOMPARE(f.list.HorizontalExtent(), 0);
    }

    void showItemHintCreatesAndDropsHintWindow() {
        TListFixture f;
        QVERIFY(f.list.HintWindow());
        f.list.SetShowItemHint(false);
        QVERIFY(!f.list.HintWindow());
        f.MoveTo(1);
        QVERIFY(!f.list.HintPending());
        f.list.SetShowItemHint(true);
        QVERIFY(f.list.HintWindow());
        QCOMPARE(f.list.HintWindow()->font(), f.list.font());
    }

    void itemColours() {
        TListFixture f;
        f.list.setCurrentRow(0);
        f.list.clearFocus();
        const QImage image = f.list.grab().toImage();
        const auto pixelAt = [&](int row) {
            const QRect r = f.list.visualItemRect(f.list.item(row));
            return image.pixelColor(r.right() - 2, r.center().y());
        };
        QCOMPARE(pixelAt(0), vorlano::kSelectedItemColor);
        QCOMPARE(pixelAt(2), QColor(249, 223, 174));  // even: BgColor1
        QCOMPARE(pixelAt(3), QColor(Qt::white));      // odd: BgColor2
        QCOMPARE(f.list.visualItemRect(f.list.item(1)).height(), 16);
    }
};

VORLANO_REGISTER_TEST(THintListBoxTest)
#include "hint_list_box_test.moc"
