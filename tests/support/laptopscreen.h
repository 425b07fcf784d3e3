#ifndef LAPTOPSCREEN_H
#define LAPTOPSCREEN_H

#include <QApplication>
#include <QRect>
#include <QtTest>

// The screen of a small laptop, 1366 x 768, on which the offscreen platform shows a test's
// windows: dialogs are tried where they are hardest to fit.
namespace LaptopScreen {

inline constexpr QRect Geometry(0, 0, 1366, 768);
// A desktop's panel along the bottom edge covers this much of it.
inline constexpr int PanelHeight = 40;

// Points the offscreen platform at the laptop screen; call before the application is made.
bool use();

} // namespace LaptopScreen

// A test's main() whose windows show on the laptop screen.
#define DM_LAPTOP_SCREEN_MAIN(TestObject)                                                          \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        if (!LaptopScreen::use())                                                                  \
            return 1;                                                                              \
        QApplication app(argc, argv);                                                              \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#endif // LAPTOPSCREEN_H
