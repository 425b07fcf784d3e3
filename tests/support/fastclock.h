#ifndef FASTCLOCK_H
#define FASTCLOCK_H

#include <QtGlobal>

// While one lives, every clock the thread that made it reads through clock_gettime (the
// toolkit's timers, deadlines and dates, std::chrono) runs ahead by `step` seconds at each read, as
// on a machine so slow or so busy that whatever a deadline allowed has passed by the time it is
// looked at. Other threads, the test runner's watchdog among them, keep real time. A test links it
// by using it: the clock functions it stands in for come with it.
class FastClock
{
public:
    explicit FastClock(qint64 step = 3600);
    ~FastClock();
    FastClock(const FastClock &) = delete;
    FastClock &operator=(const FastClock &) = delete;
};

#endif // FASTCLOCK_H
