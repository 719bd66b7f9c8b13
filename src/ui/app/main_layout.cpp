#include "ui/app/main_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>

#include "ui/common/dialog_units.h"

namespace velmor {

namespace {

// Size of the client area from the window template (496 by 334 dialog units).
constexpr int kTemplateWidth = DluX(496);
constexpr int kTemplateHeight = DluY(334);

// The right-hand column keeps its distance from the right edge and from the top; its
// controls are placed relative to its left edge.
constexpr int kColumnWidth = 276;
constexpr int kColumnMargin = 8;
constexpr int kColumnOrigin = kColumnWidth + kColumnMargin;  // column left = width - this
// The label column and the field columns "x", "y", "z". A field the user types into, or that
// falls back to its default written with six decimals, is wide enough for "-10.000000" (x and y
// start at kColX and kColY); the display fields of x, y and z, which the program alone writes
// with three decimals, for "-10.000" (side by side under the headers, y and z at kColY and
// kColZ). The views keep room for their help texts at the minimum window width.
constexpr int kLabelX = 0, kLabelWidth = 86;
constexpr int kFieldWidth = 54, kWideFieldWidth = 76, kFieldHeight = 22;
constexpr int kColX = 88, kColY = 166, kColZ = 222;
constexpr int kColDisplayX = kColY - kFieldWidth - 2;
constexpr int kColN2 = kColumnWidth - kWideFieldWidth;  // "n2" ends the column

// The plot frame keeps these margins to the four client edges.
constexpr int kFrameLeft = 8, kFrameTop = 8;
constexpr int kFrameRight = kColumnOrigin + 8, kFrameBottom = 60;
// The ray-trace status line and the cursor read-out below the frame: left margin, distance of
// their top from the bottom.
constexpr int kRayStatusFromBottom = 56, kRayStatusHeight = 18;
constexpr int kReadoutFromBottom = 36, kReadoutHeight = 32;
// "Exit" keeps its distances from the right and bottom edges.
constexpr int kExitWidth = 100, kExitHeight = 28, kExitRight = 8, kExitBottom = 8;

enum class Kind { Label, RightLabel, Header, Edit, Check, Button, Combo, Text };

struct ControlTemplate {
    int id;  // 0 for labels without an id
    Kind kind;
    const char* text;
    int x, y, w, h;  // x relative to the column's left edge
};

// The right-hand column.
constexpr ControlTemplate kColumn[] = {
    {kIdUseInterpreter, Kind::Check, "Use Interpreter", kLabelX, 6, 160, 22},
    {0, Kind::Label, "n1", kLabelX, 34, kLabelWidth, kFieldHeight},
    {kIdN1, Kind::Edit, "", kColX, 34, kWideFieldWidth, kFieldHeight},
    {0, Kind::RightLabel, "n2", kColY, 34, kColN2 - kColY - 4, kFieldHeight},
    {kIdN2, Kind::Edit, "", kColN2, 34, kWideFieldWidth, kFieldHeight},
    {0, Kind::Header, "x", kColDisplayX, 62, kFieldWidth, 16},
    {0, Kind::Header, "y", kColY, 62, kFieldWidth, 16},
    {0, Kind::Header, "z", kColZ, 62, kFieldWidth, 16},
    {0, Kind::Label, "min", kLabelX, 80, kLabelWidth, kFieldHeight},
    {kIdAnalysisXMin, Kind::Edit, "", kColX, 80, kWideFieldWidth, kFieldHeight},
    {kIdAnalysisYMin, Kind::Edit, "", kColY, 80, kWideFieldWidth, kFieldHeight},
    {0, Kind::Label, "max", kLabelX, 105, kLabelWidth, kFieldHeight},
    {kIdAnalysisXMax, Kind::Edit, "", kColX, 105, kWideFieldWidth, kFieldHeight},
    {kIdAnalysisYMax, Kind::Edit, "", kColY, 105, kWideFieldWidth, kFieldHeight},
    {0, Kind::Label, "delta 2D", kLabelX, 130, kLabelWidth, kFieldHeight},
    {kIdStep2DX, Kind::Edit, "", kColX, 130, kWideFieldWidth, kFieldHeight},
    {kIdStep2DY, Kind::Edit, "", kColY, 130, kWideFieldWidth, kFieldHeight},
    {0, Kind::Label, "delta 3D", kLabelX, 155, kLabelWidth, kFieldHeight},
    {kIdStep3DX, Kind::Edit, "", kColX, 155, kWideFieldWidth, kFieldHeight},
    {kIdStep3DY, Kind::Edit, "", kColY, 155, kWideFieldWidth, kFieldHeight},
    {0, Kind::Label, "display min", kLabelX, 186, kLabelWidth, kFieldHeight},
    {kIdDisplayXMin, Kind::Edit, "", kColDisplayX, 186, kFieldWidth, kFieldHeight},
    {kIdDisplayYMin, Kind::Edit, "", kColY, 186, kFieldWidth, kFieldHeight},
    {kIdDisplayZMin, Kind::Edit, "", kColZ, 186, kFieldWidth, kFieldHeight},
    {0, Kind::Label, "display max", kLabelX, 211, kLabelWidth, kFieldHeight},
    {kIdDisplayXMax, Kind::Edit, "", kColDisplayX, 211, kFieldWidth, kFieldHeight},
    {kIdDisplayYMax, Kind::Edit, "", kColY, 211, kFieldWidth, kFieldHeight},
    {kIdDisplayZMax, Kind::Edit, "", kColZ, 211, kFieldWidth, kFieldHeight},
    {0, Kind::Label, "display n min", kLabelX, 242, kLabelWidth, kFieldHeight},
    {kIdDisplayNMin, Kind::Edit, "", kColX, 242, kWideFieldWidth, kFieldHeight},
    {0, Kind::Label, "display n max", kLabelX, 267, kLabelWidth, kFieldHeight},
    {kIdDisplayNMax, Kind::Edit, "", kColX, 267, kWideFieldWidth, kFieldHeight},
    // The pattern list wide enough for "equilateral triangle 1".
    {kIdPattern, Kind::Combo, "", kLabelX, 299, 162, 24},
    {kIdMake3DModel, Kind::Button, "Make 3D Model", 166, 298, 110, 26},
    {kIdUpdate2D, Kind::Button, "Update 2D", 166, 328, 110, 26},
    {kIdRayTrace, Kind::Check, "Ray Trace", 0, 362, 90, 22},
    {kIdCursor, Kind::Check, "Cursor", 96, 362, 80, 22},
    {kIdVerbose, Kind::Check, "Verbose", 182, 362, 94, 22},
    {kIdResetZoom, Kind::Button, "Reset Zoom", 0, 390, 136, 26},
    {kIdResetPan, Kind::Button, "Reset Pan", 140, 390, 136, 26},
    {kIdZoomHint, Kind::Text, "(Zoom : MouseWheel)", 0, 420, 150, 18},
    {kIdPanHint, Kind::Text, "(Pan : R-Drag)", 166, 420, 110, 18},
};

const char* const kPatternNames[] = {"right triangle 1", "right triangle 2",
                                     "equilateral triangle 1", "equilateral triangle 2"};

}  // namespace

QSize MainStartSize(int menuBarHeight) {
    return QSize(std::max(kTemplateWidth, kMainMinimumWidth),
                 std::max(kTemplateHeight + menuBarHeight, kMainMinimumHeight));
}

MainControls BuildMainControls(QWidget* client, const std::function<void(int id)>& onButton) {
    MainControls controls;
    for (const ControlTemplate& t : kColumn) {
        const QString text = QString::fromLatin1(t.text);
        QWidget* widget = nullptr;
        switch (t.kind) {
            case Kind::Label:
            case Kind::RightLabel:
            case Kind::Header:
            case Kind::Text: {
                auto* label = new QLabel(text, client);
                label->setAlignment(t.kind == Kind::RightLabel ? Qt::AlignRight | Qt::AlignVCenter
                                    : t.kind == Kind::Header   ? Qt::AlignCenter
                                                               : Qt::AlignLeft | Qt::AlignVCenter);
                widget = label;
                break;
            }
            case Kind::Edit: {
                auto* edit = new QLineEdit(client);
                edit->setMaxLength(1024);
                widget = edit;
                break;
            }
            case Kind::Check: {
                auto* box = new QCheckBox(text, client);
                widget = box;
                break;
            }
            case Kind::Button: {
                auto* button = new QPushButton(text, client);
                button->setAutoDefault(false);
                const int id = t.id;
                QObject::connect(button, &QPushButton::clicked, button,
                                 [onButton, id] { onButton(id); });
                widget = button;
                break;
            }
            case Kind::Combo: {
                auto* combo = new QComboBox(client);
                for (const char* name : kPatternNames) combo->addItem(QString::fromLatin1(name));
                widget = combo;
                break;
            }
        }
        widget->setGeometry(t.x, t.y, t.w, t.h);
        controls.column.push_back(widget);
        if (t.id != 0) {
            widget->setObjectName(QString::number(t.id));
            controls.byId[t.id] = widget;
        }
    }

    auto* exit = new QPushButton(QStringLiteral("Exit"), client);
    exit->setAutoDefault(false);
    QObject::connect(exit, &QPushButton::clicked, exit, [onButton] { onButton(kIdExit); });
    controls.byId[kIdExit] = exit;

    auto* rayStatus = new QLabel(client);
    auto* readout = new QLabel(client);
    readout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    rayStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    controls.byId[kIdRayStatus] = rayStatus;
    controls.byId[kIdCursorReadout] = readout;
    for (int id : {kIdExit, kIdRayStatus, kIdCursorReadout})
        controls.byId[id]->setObjectName(QString::number(id));
    return controls;
}

QRect LayOutMainControls(const MainControls& controls, QSize client) {
    const int width = client.width();
    const int height = client.height();
    const int column = width - kColumnOrigin;
    for (std::size_t i = 0; i < controls.column.size(); ++i)
        controls.column[i]->move(column + kColumn[i].x, kColumn[i].y);
    controls.byId.at(kIdExit)->setGeometry(width - kExitRight - kExitWidth,
                                           height - kExitBottom - kExitHeight, kExitWidth,
                                           kExitHeight);
    const int textWidth = std::max(0, width - kFrameLeft - kFrameRight);
    // The ray-trace status line has its row to itself, below the column and above "Exit": it
    // reaches the right margin, so that a gradient-index medium's line ("GRIN : 412 steps, end
    // (x, y, z), OPL 15.062") shows whole at the minimum width.
    controls.byId.at(kIdRayStatus)
        ->setGeometry(kFrameLeft, height - kRayStatusFromBottom,
                      std::max(0, width - kFrameLeft - kColumnMargin), kRayStatusHeight);
    controls.byId.at(kIdCursorReadout)
        ->setGeometry(kFrameLeft, height - kReadoutFromBottom, textWidth, kReadoutHeight);
    return QRect(QPoint(kFrameLeft, kFrameTop),
                 QSize(std::max(0, width - kFrameLeft - kFrameRight),
                       std::max(0, height - kFrameTop - kFrameBottom)));
}

MainStatusPanes BuildMainStatusBar(QStatusBar* bar, QWidget* owner) {
    MainStatusPanes panes;
    panes.position = new QLabel(owner);
    auto* second = new QLabel(owner);
    second->setFixedWidth(30);
    panes.library = new QLabel(owner);
    panes.library->hide();  // shown while the library is faulted
    panes.views = new QLabel(owner);
    panes.views->hide();  // shown while a view has nothing to draw
    bar->addWidget(panes.position, 1);
    bar->addPermanentWidget(panes.views);
    bar->addPermanentWidget(panes.library);
    bar->addPermanentWidget(second);
    bar->setSizeGripEnabled(true);
    return panes;
}

}  // namespace velmor
