#pragma once
// The options of one archive per item, shared by `sheaf-batch --each` and
// `sheaf --each`:
//   [-a lzh|zip|cab] [-o DIR] [-w|--whole-name] [-j N] [--] ITEM...
// and, on the console only, -q.

#include "archive/each_plan.h"

#include <QString>
#include <QStringList>

namespace sheaf {

struct EachArguments
{
    EachSettings settings;
    int threads = 0; // -j; 0: one per core
    bool quiet = false; // -q
    QStringList items;
    QString error; // a usage error, one line; empty when usable
};

// `args` are those after --each. The output folder must be a folder this
// process may write in; it is made absolute.
EachArguments parseEachArguments(const QStringList &args, bool console);

} // namespace sheaf
