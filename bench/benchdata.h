#pragma once

#include <QString>

// The names of the two long entries every data set holds, so that the window
// benchmark can find and click them.
namespace benchdata {

inline QString longEntry10k()
{
    return QStringLiteral("Заметки о Qt 10 KB - habr.com");
}

inline QString longEntry1m()
{
    return QStringLiteral("История Москвы 1 MB - ru.wikipedia.org");
}

} // namespace benchdata
