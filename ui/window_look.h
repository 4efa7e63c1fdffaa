#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

namespace kalibron {

// What every window of the programs starts with: its control name, its
// caption and the small font (8 pt) its twips layout was made for.
inline void setUpWindowLook(QWidget& window, const char* objectName, const char* caption)
{
    window.setObjectName(QLatin1String(objectName));
    window.setWindowTitle(QLatin1String(caption));
    QFont small = window.font();
    small.setPointSize(8);
    window.setFont(small);
}

// Monospaced families common on Linux desktops, best first. fontconfig does
// not mark every monospaced font as such (Noto Sans Mono, for one), so the
// name "monospace" alone may end in a proportional font.
inline const QStringList& fixedPitchFamilies()
{
    static const QStringList families = {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                                         QStringLiteral("Noto Sans Mono"),   QStringLiteral("Noto Mono"),
                                         QStringLiteral("Ubuntu Mono"),      QStringLiteral("Cousine"),
                                         QStringLiteral("Nimbus Mono PS"),   QStringLiteral("FreeMono"),
                                         QStringLiteral("Courier New"),      QStringLiteral("monospace")};
    return families;
}

// Whether columns of digits, points, percent signs and spaces line up in
// `font`: what a list of numbers padded with spaces needs, measured on the
// font the machine really gives for it.
inline bool linesUpColumns(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal space = metrics.horizontalAdvance(QLatin1Char(' '));
    for (const QChar c : QStringLiteral("0123456789.%"))
        if (metrics.horizontalAdvance(c) != space)
            return false;
    return space > 0;
}

// A font of `pointSize` whose digits and spaces have one advance: the first
// of `families` that the machine has and that lines up, then the desktop's
// fixed font; if none does, the first family with the typewriter hint.
inline QFont fixedPitchFont(int pointSize, const QStringList& families = fixedPitchFamilies())
{
    std::vector<QFont> candidates;
    for (const QString& family : families) {
        QFont font(family, pointSize);
        font.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
        font.setFixedPitch(true);
        candidates.push_back(font);
    }
    QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    system.setPointSize(pointSize);
    candidates.push_back(system);
    for (const QFont& font : candidates)
        if (linesUpColumns(font))
            return font;
    return candidates.front();
}

} // namespace kalibron
