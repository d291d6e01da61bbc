// SPDX-License-Identifier: GPL-3.0-or-later
#include "numbertext.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// Enough significant digits for correct rounding of any double; digits beyond only move the
// exponent, so that a pasted megabyte of digits is read in one linear pass.
constexpr std::size_t MaxSignificantDigits = 800;
// Far beyond the range of a double, small enough never to overflow the arithmetic below.
constexpr int MaxExponent = 10'000'000;

// Walks a text while skipping the blanks, tabs and line feeds that may stand anywhere in it.
class BlankSkipper
{
public:
    explicit BlankSkipper(QStringView text) : m_text(text) { }

    char16_t peek()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos].unicode()))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos].unicode() : u'\0';
    }
    void take() { ++m_pos; }
    qsizetype position() const { return m_pos; }
    void rewind(qsizetype pos) { m_pos = pos; }

private:
    static bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

    QStringView m_text;
    qsizetype m_pos = 0;
};

int digitValue(char16_t c, int base)
{
    int d = -1;
    if (c >= u'0' && c <= u'9')
        d = c - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c - u'A' + 10;
    return d < base ? d : -1;
}

// &H and &O literals: values that fit 16 bits read as 16-bit signed, those that fit 32 bits as
// 32-bit signed (so &HFFFF is -1 and &HFFFFFFFF is -1); longer ones as their plain value.
double readRadix(BlankSkipper &in, int base)
{
    std::uint64_t value = 0;
    double large = 0; // takes over once the value no longer fits 64 bits
    bool overflow = false;
    bool any = false;
    for (int d; (d = digitValue(in.peek(), base)) >= 0; in.take()) {
        any = true;
        if (!overflow && value > (std::numeric_limits<std::uint64_t>::max() - d) / base) {
            overflow = true;
            large = double(value);
        }
        if (overflow)
            large = large * base + d;
        else
            value = value * base + d;
    }
    if (!any)
        return 0;
    if (overflow)
        return large;
    if (value <= 0xFFFF)
        return std::int16_t(std::uint16_t(value));
    if (value <= 0xFFFFFFFF)
        return std::int32_t(std::uint32_t(value));
    return double(value);
}

double readDecimal(BlankSkipper &in)
{
    bool negative = false;
    if (in.peek() == u'+' || in.peek() == u'-') {
        negative = in.peek() == u'-';
        in.take();
    }

    // value = digits * 10^exponent
    std::string digits;
    long exponent = 0;
    bool anyDigit = false;
    for (char16_t c; (c = in.peek()) >= u'0' && c <= u'9'; in.take()) {
        anyDigit = true;
        if (digits.empty() && c == u'0')
            continue;
        if (digits.size() < MaxSignificantDigits)
            digits += char(c);
        else if (exponent < MaxExponent)
            ++exponent;
    }
    if (in.peek() == u'.') {
        in.take();
        for (char16_t c; (c = in.peek()) >= u'0' && c <= u'9'; in.take()) {
            anyDigit = true;
            if (digits.size() >= MaxSignificantDigits)
                continue;
            if (!digits.empty() || c != u'0')
                digits += char(c);
            if (exponent > -MaxExponent)
                --exponent;
        }
    }
    if (!anyDigit)
        return 0;

    const qsizetype beforeExponent = in.position();
    if (in.peek() == u'e' || in.peek() == u'E') {
        in.take();
        bool negativeExponent = false;
        if (in.peek() == u'+' || in.peek() == u'-') {
            negativeExponent = in.peek() == u'-';
            in.take();
        }
        long e = 0;
        bool anyExponentDigit = false;
        for (char16_t c; (c = in.peek()) >= u'0' && c <= u'9'; in.take()) {
            anyExponentDigit = true;
            if (e < MaxExponent)
                e = e * 10 + (c - u'0');
        }
        if (anyExponentDigit)
            exponent += negativeExponent ? -e : e;
        else
            in.rewind(beforeExponent); // "1e" and "1e+" read as 1
    }

    if (digits.empty())
        return 0;

    const std::size_t significant = digits.size();
    digits += 'e';
    digits += std::to_string(exponent);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Whole digits beyond the exponent range overflow; the rest underflow to 0.
        value = long(significant) + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

} // namespace

namespace NumberText {

double read(QStringView text)
{
    BlankSkipper in(text);
    if (in.peek() == u'&') {
        in.take();
        const char16_t kind = in.peek();
        in.take();
        if (kind == u'h' || kind == u'H')
            return readRadix(in, 16);
        if (kind == u'o' || kind == u'O')
            return readRadix(in, 8);
        return 0;
    }
    const double value = readDecimal(in);
    return value == 0 ? 0.0 : value; // no negative zero: "-0" reads as 0
}

std::int16_t toInt16(double value)
{
    if (std::isnan(value))
        return 0;
    // rint rounds halves to the even neighbour in the default rounding mode.
    const double rounded = std::rint(value);
    if (rounded <= std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    if (rounded >= std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    return std::int16_t(rounded);
}

QString decimal(std::int64_t value)
{
    return QString::number(value);
}

} // namespace NumberText
