#pragma once
// The main window's controls as data: kind, container, place and size in
// twips (1/15 pixel), caption, tool tip and place in the tab order. The
// window is built from this table; the tests check its properties (every
// control inside its frame, none overlapping, every text fitting).

#include <QRect>
#include <QString>
#include <span>

namespace sheaf::ui {

enum class ControlKind { Frame, Button, Field, Switch, Combo, Label, Option, Grid };

struct ControlRow
{
    const char *name;
    ControlKind kind;
    const char *container; // "frmSheaf" or a frame's name
    QRect twips;
    const char16_t *caption; // empty: none (the switches write theirs at start-up)
    const char16_t *toolTip;
    int tabIndex; // -1: not in the tab order
};

// Sizes in pixels: twips / 15, rounded.
constexpr int twips(int t)
{
    return (t + 7) / 15;
}

inline QRect pixelRect(const QRect &t)
{
    return QRect(twips(t.x()), twips(t.y()), twips(t.width()), twips(t.height()));
}

// Every control of the window, containers before their members.
std::span<const ControlRow> controlTable();

// The grid's column widths in pixels (№, 圧縮, ディレクトリ, ファイル名, 更新日時, サイズ).
std::span<const int> gridColumnWidths();

} // namespace sheaf::ui
