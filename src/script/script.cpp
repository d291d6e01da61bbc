#include "script.h"

void Script::setItem(int i, const ScriptItem &item)
{
    x[i] = item.x;
    y[i] = item.y;
    down[i] = item.down;
    up[i] = item.up;
}

int Script::nextNonEmpty(int after) const
{
    int i = after + 1;
    // Nothing is cached between calls: an edit made during a run is seen when the search
    // reaches it.
    while (i <= LastIndex && x[i] < 1 && y[i] < 1)
        ++i;
    return i;
}
