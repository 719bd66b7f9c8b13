// The main window at its default size (744 x 580) and at its minimum one: every help text of
// the views lies whole inside its view in a face of at least 10 pixels, every field shows the
// whole text of a value with up to two digits before the point, the pattern list its whole item
// texts, and each view's drawing stays in its own area. With VELMOR_SCREENSHOT_DIR set, the
// grabs are saved there.
#include <QComboBox>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <cstring>

#include "../plots/plot_test_support.h"
#include "dlg_fixture.h"
#include "record_table_cells.h"
#include "ui/plots/plot_frame.h"

namespace velmor {
namespace {

bool Contains(const QImage& image, const QImage& stamp) {
    const int w = stamp.width(), h = stamp.height();
    const std::size_t rowBytes = std::size_t(w) * 4;
    for (int y = 0; y + h <= image.height(); ++y) {
        for (int x = 0; x + w <= image.width(); ++x) {
            int row = 0;
            while (row < h && std::memcmp(image.constScanLine(y + row) + std::size_t(x) * 4,
                                          stamp.constScanLine(row), rowBytes) == 0)
                ++row;
            if (row == h) return true;
        }
    }
    return false;
}

// The pixel size (10 to 13) of a face, the views' label face or a proportional one, in which
// the text lies whole somewhere in the image; 0 when it lies whole nowhere.
int FoundTextSize(const QImage& image, const QString& text, QRgb background) {
    for (int size = 13; size >= 10; --size) {
        QFont label = PlotFont();
        label.setPixelSize(size);
        QFont proportional(QStringLiteral("DejaVu Sans"));
        proportional.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
        proportional.setPixelSize(size);
        for (const QFont& font : {label, proportional})
            if (Contains(image, test::TextStamp(text, kBlackRgb, background, font))) return size;
    }
    return 0;
}

// Whether the widget shows its whole text: up to where the text ends, its grab equals the grab
// of the same widget made much wider, where nothing is cut, elided or scrolled away.
bool ShowsWholeText(QWidget* widget) {
    const QRect geometry = widget->geometry();
    const QImage narrow = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    widget->resize(geometry.width() + 300, geometry.height());
    const QImage wide = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    widget->setGeometry(geometry);
    const int h = wide.height();
    const QRgb background = wide.pixel(geometry.width() + 150, h / 2);
    int inkRight = -1;
    for (int x = 2; x < geometry.width() + 100; ++x)
        for (int y = 3; y < h - 3; ++y)
            if (wide.pixel(x, y) != background) inkRight = x;
    if (inkRight < 0 || inkRight + 3 >= geometry.width()) return false;
    const QRect text(0, 0, inkRight + 2, h);
    return narrow.copy(text) == wide.copy(text);
}

class MainWindowTextsTest : public DlgTest {
protected:
    // The plot client once the views are drawn for its present size. The layout, the redraw and
    // a missing map's build each come on a later pass of the event loop than the one before:
    // a few passes finish them, however long each takes.
    QImage Client() {
        for (int pass = 0; pass < 10; ++pass) QApplication::processEvents();
        return m_dlg->PlotClient()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(MainWindowTextsTest, HelpTextsFieldsAndThePatternListShowWholeTexts) {
    CVelmorDlg& dlg = Open();
    EXPECT_EQ(dlg.size(), QSize(744, 580));
    // Nothing drawn over the help texts: no cursor cross-hair, a ray straight down (its lines
    // run along the axes).
    Click(kIdCursor);
    CDataGrid* userData = dlg.UdFdInitial().UserDataTable();
    test::TypeCell(userData, "l", "0");
    test::TypeCell(userData, "m", "0");
    test::TypeCell(userData, "n", "1");
    Click(kIdUpdate2D);
    // What the fields hold: six decimals where a value is typed or falls back to its default,
    // three in the display fields of x, y and z, which only the program writes.
    const std::vector<int> displayXyz = {kIdDisplayXMin, kIdDisplayXMax, kIdDisplayYMin,
                                         kIdDisplayYMax, kIdDisplayZMin, kIdDisplayZMax};
    const std::vector<int> typed = {
        kIdN1,      kIdN2,      kIdAnalysisXMin, kIdAnalysisXMax, kIdAnalysisYMin, kIdAnalysisYMax,
        kIdStep2DX, kIdStep2DY, kIdStep3DX,      kIdStep3DY,      kIdDisplayNMin,  kIdDisplayNMax};
    for (const QSize size : {QSize(744, 580), QSize(620, 580)}) {
        SCOPED_TRACE(size.width());
        dlg.resize(size);
        const QImage client = Client();
        const PlotAreas& areas = dlg.Areas();
        const QImage plan = client.copy(areas.plan), ray = client.copy(areas.fourth);
        EXPECT_GT(FoundTextSize(plan, "Shift L-Click:ThroughPoint", kWhiteRgb), 0);
        EXPECT_GT(FoundTextSize(plan, "Shift R-Click:Direction", kWhiteRgb), 0);
        EXPECT_GT(FoundTextSize(ray, "Shift L-Click:IncidentElevation", kPaperRgb), 0);

        for (int id : typed) {
            for (const char* text : {"-10.000000", "0.093023", "99.999999"}) {
                dlg.Field(id)->setText(QString::fromLatin1(text));
                EXPECT_TRUE(ShowsWholeText(dlg.Field(id))) << id << " " << text;
            }
        }
        for (int id : displayXyz) {
            dlg.Field(id)->setText(QStringLiteral("-10.000"));
            EXPECT_TRUE(ShowsWholeText(dlg.Field(id))) << id;
        }
        // The pattern list draws its text clipped to the style's field for it.
        auto* patterns = static_cast<QComboBox*>(dlg.Control(kIdPattern));
        QStyleOptionComboBox option;
        option.initFrom(patterns);
        const QRect field = patterns->style()->subControlRect(
            QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, patterns);
        for (int i = 0; i < patterns->count(); ++i)
            EXPECT_LE(patterns->fontMetrics().horizontalAdvance(patterns->itemText(i)),
                      field.width())
                << patterns->itemText(i).toStdString();
        SaveShot(dlg, "main_window");
    }
}

// Each view's image is painted into its own area only: a paint that comes after the window
// shrank and before the views are drawn again for their new size (images larger than their
// areas) leaves the gaps between the views alone.
TEST_F(MainWindowTextsTest, EachViewIsPaintedIntoItsOwnAreaOnly) {
    CVelmorDlg& dlg = Open();
    dlg.resize(1500, 1100);
    Client();
    dlg.resize(744, 580);
    const PlotAreas& a = dlg.Areas();
    ASSERT_EQ(a.plan.width(), 217);
    const QImage client =
        dlg.PlotClient()->grab().toImage().convertToFormat(QImage::Format_RGB32);  // not redrawn
    const QRgb window = dlg.PlotClient()->palette().window().color().rgb();
    const QRect gaps[] = {
        QRect(QPoint(a.plan.right() + 1, a.plan.top()), QPoint(a.fourth.left() - 1, a.xz.bottom())),
        QRect(QPoint(a.plan.left(), a.plan.bottom() + 1), QPoint(a.fourth.right(), a.xz.top() - 1)),
    };
    for (const QRect& gap : gaps) {
        ASSERT_FALSE(gap.isEmpty());
        int other = 0;
        for (int y = gap.top(); y <= gap.bottom(); ++y)
            for (int x = gap.left(); x <= gap.right(); ++x) other += client.pixel(x, y) != window;
        EXPECT_EQ(other, 0) << gap.x() << "," << gap.y() << " " << gap.width() << "x"
                            << gap.height();
    }
}

}  // namespace
}  // namespace velmor
