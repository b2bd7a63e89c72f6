// The controls of frmSheaf. Places follow the classic twip layout, widened
// where the Japanese font we ship needs more room than it gives:
//   the left pane by 300 twips (20 px): the counter "(30,000/30,000)" is
//     104 px in IPAPGothic 13 px, lblCount had 81 (Frame5 and its label
//     grow, Frame6 moves right, the window and the grid's left edge follow);
//   the left pane by 225 twips (15 px) more for the extension: cmbExtent
//     is 1200 twips (80 px), so that its text area holds ".WWWW" (51.7 px)
//     and ".テキスト" (47.7 px) with the field's margins; Frame5 grows with
//     it, lblCount and Frame6 move right, the buttons spread 300 twips
//     apart, and the window and the grid's left edge follow;
//   lblCount starts where cmbExtent ends (it overlapped it);
//   the option buttons are 720 twips wide at 180, 990 and 1770 twips, so
//     that "LHA" and "ZIP" end 9 px or more before the next circle (each
//     button overlapped its neighbour, "LHA" nearly touched ZIP's circle);
//   Frame7 by 60 twips (4 px) and lblMsg to two lines: the longest status
//     text is up to 616 px;
//   the grid's columns: № 43 ("30000" is 37.7 px in 12 px), 更新日時 100
//     ("24/03/19 09:30" 94.5 px): the text, a 2 px margin on either side
//     (the item views' default is 3) and the grid line; サイズ as wide as
//     its widest text; ディレクトリ and ファイル名 share what is left.

#include "app/ui/control_table.h"

namespace sheaf::ui {

namespace {

using K = ControlKind;

const ControlRow kControls[] = {
    {"Frame1", K::Frame, "frmSheaf", {120, 120, 5580, 975}, u"抽出フォルダの設定", u"", -1},
    {"cmdSelinp", K::Button, "Frame1", {120, 240, 495, 255}, u"", u"抽出フォルダを指定できます。",
        1},
    {"txtSelect", K::Field, "Frame1", {720, 240, 4740, 270}, u"",
        u"現在設定されている抽出を行うフォルダです。", 0},
    {"chkSelect", K::Switch, "Frame1", {120, 600, 5340, 255}, u"",
        u"抽出フォルダ以下のサブフォルダも抽出を行う時にチェックします。", 2},

    {"Frame2", K::Frame, "frmSheaf", {120, 1200, 5580, 975}, u"出力フォルダの設定", u"", -1},
    {"cmdOutinp", K::Button, "Frame2", {120, 240, 495, 255}, u"", u"出力フォルダを指定できます。",
        4},
    {"txtOutput", K::Field, "Frame2", {720, 240, 4740, 270}, u"",
        u"現在設定されている圧縮したファイルを出力するフォルダです。", 3},
    {"chkOutput", K::Switch, "Frame2", {120, 600, 5340, 255}, u"",
        u"出力フォルダに圧縮ファイルを移動する場合にチェックします。", 5},

    {"Frame3", K::Frame, "frmSheaf", {120, 2280, 5580, 615}, u"圧縮方法の設定", u"", -1},
    {"chkTogether", K::Switch, "Frame3", {120, 240, 5340, 255}, u"",
        u"抽出したファイル以外も圧縮したい場合にチェックします。", 14},

    {"Frame4", K::Frame, "frmSheaf", {120, 3000, 5580, 615}, u"ファイル名をフォルダ名に変更", u"",
        -1},
    {"chkName", K::Switch, "Frame4", {120, 240, 5340, 255}, u"",
        u"通常はチェックしないで下さい。ファイル名を直上のフォルダ名に変更してから圧縮します。",
        16},

    {"Frame5", K::Frame, "frmSheaf", {120, 3720, 2940, 615}, u"抽出する拡張子の設定", u"", -1},
    {"cmbExtent", K::Combo, "Frame5", {120, 240, 1200, 300}, u"",
        u"抽出フォルダから抽出する拡張子を“．？？？”の形式で登録できます。（Shift+"
        u"Enterで削除できます）",
        15},
    {"lblCount", K::Label, "Frame5", {1320, 240, 1575, 255}, u"", u"", -1},

    {"Frame6", K::Frame, "frmSheaf", {3165, 3720, 2535, 615}, u"圧縮するアーカイバの設定", u"", -1},
    {"optLzh", K::Option, "Frame6", {180, 240, 720, 300}, u"LHA",
        u"ＵＮＬＨＡ３２．ＤＬＬが有れば、圧縮可能です。", 6},
    {"optZip", K::Option, "Frame6", {990, 240, 720, 300}, u"ZIP",
        u"ＺＩＰ３２．ＤＬＬ＋ＺＩＰ３２Ｊ．ＤＬＬＬが有れば、圧縮可能です。", 7},
    {"optCab", K::Option, "Frame6", {1770, 240, 720, 300}, u"CAB",
        u"ＣＡＢ３２．ＤＬＬが有れば、圧縮可能です。", 8},

    {"cmdSelect", K::Button, "frmSheaf", {120, 4560, 1170, 495}, u"抽出(&S)",
        u"抽出フォルダから圧縮する元ファイルを抽出します。", 9},
    {"cmdArchive", K::Button, "frmSheaf", {1590, 4560, 1170, 495}, u"圧縮(&A)",
        u"抽出したファイルを元に圧縮します。", 10},
    {"cmdClear", K::Button, "frmSheaf", {3060, 4560, 1170, 495}, u"消去(&C)",
        u"抽出したファイルをクリアします。", 11},
    {"cmdQuit", K::Button, "frmSheaf", {4530, 4560, 1170, 495}, u"終了(&E)",
        u"読んで字の如し、Sheafを終了します。", 12},

    {"Frame7", K::Frame, "frmSheaf", {120, 5160, 5580, 675}, u"メッセージ",
        u"メッセージが表示されます。", -1},
    {"lblMsg", K::Label, "Frame7", {120, 210, 5340, 420}, u"", u"メッセージが表示されます。", -1},

    {"grdList", K::Grid, "frmSheaf", {5805, 240, 7095, 5535}, u"",
        u"圧縮するファイルを一覧表示します。クリックする事で非対称にする事も出来ます。", 13},
};

// サイズ 0: as wide as its widest text. ディレクトリ and ファイル名 share the
// rest of the grid; their widths here stand until a list is shown.
const int kColumnWidths[] = {43, 32, 83, 84, 100, 0};

} // namespace

std::span<const ControlRow> controlTable()
{
    return kControls;
}

std::span<const int> gridColumnWidths()
{
    return kColumnWidths;
}

} // namespace sheaf::ui
