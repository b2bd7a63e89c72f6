#include "selection/file_sort.h"

#include <cmath>
#include <utility>

namespace sheaf {

namespace {

// Entry a stands correctly before entry b: by folder, then by name, both
// compared by UTF-16 code units. QString's operators are exactly that.
bool inOrder(const QVector<QString> &dir, const QVector<QString> &name, int a, int b)
{
    // The scan gives every file of a folder the same shared folder text, so
    // equal folders are mostly seen without comparing their characters.
    const bool sameText
        = dir[a].constData() == dir[b].constData() && dir[a].size() == dir[b].size();
    const int byDir = sameText ? 0 : QString::compare(dir[a], dir[b], Qt::CaseSensitive);
    if (byDir != 0)
        return byDir < 0;
    return QString::compare(name[a], name[b], Qt::CaseSensitive) <= 0;
}

} // namespace

// A shell sort whose gap is the count divided by a divisor that grows by 1.5
// per pass (rounded half to even: 2, 3, 4, 6, 9, 14, 21, ...). The last pass
// always has gap 1 and steps back through the list, so it completes an
// insertion sort.
void FileSort(QVector<QString> &mark, QVector<QString> &dir, QVector<QString> &name, qint32 count)
{
    qint32 divisor = 2;
    if (count < 2)
        return;
    for (;;) {
        const qint32 gap = qint32(std::floor(double(count) / double(divisor)));
        for (qint32 i = 1; i <= count - gap; ++i) {
            qint32 a = i;
            qint32 b = i + gap;
            while (!inOrder(dir, name, a, b)) {
                std::swap(mark[a], mark[b]);
                std::swap(dir[a], dir[b]);
                std::swap(name[a], name[b]);
                if (a <= gap)
                    break;
                a -= gap;
                b -= gap;
            }
        }
        if (gap < 2)
            return;
        // nearbyint rounds in the default mode, to nearest with a half to even.
        divisor = qint32(std::nearbyint(double(divisor) * 1.5));
    }
}

} // namespace sheaf
