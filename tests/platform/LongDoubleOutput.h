#pragma once
// Lets QCOMPARE print extended-precision values in full when they differ.
#include <QtTest>
#include <cstdio>

namespace QTest {
template <> inline char* toString(const long double& value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", value);
    return qstrdup(buf);
}
} // namespace QTest
