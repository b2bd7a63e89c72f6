// Each switch's caption states what the program will do in its current state.
// Only the value 1 counts as checked; the greyed 2 reads as unchecked.

#include "archive/option_switches.h"

namespace sheaf {

QString switchCaption(OptionSwitch which, int value)
{
    const bool on = value == 1;
    switch (which) {
    case OptionSwitch::Select:
        return on ? QStringLiteral("サブフォルダ以下も抽出対象とします")
                  : QStringLiteral("指定フォルダからのみ抽出します");
    case OptionSwitch::Output:
        return on ? QStringLiteral("圧縮データを指定のフォルダに作成します")
                  : QStringLiteral("抽出データと同じ場所に圧縮データを作成します");
    case OptionSwitch::Name:
        return on ? QStringLiteral("抽出ファイル名をフォルダ名に変更します")
                  : QStringLiteral("抽出ファイル名の変更はしません");
    case OptionSwitch::Together:
        return on ? QStringLiteral("抽出対象以外のファイルも一緒に圧縮します")
                  : QStringLiteral("抽出対象ファイルのみ圧縮します");
    }
    return {};
}

} // namespace sheaf
