// SysMonthCal32: the selected day, today, the month on show, colours and
// the first day of the week. Only a picked day changes the selection and
// notifies (MCN_SELCHANGE, MCN_SELECT); showing another month changes
// neither.
#include "gui/backend/controls/control_state.h"

#include <ctime>

namespace kiv::gui {

using namespace controls;

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = unsigned(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

int days_in_month(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool valid_day(const SystemTime& t) {
    return t.year >= 1601 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= days_in_month(t.year, t.month);
}

// The day with its weekday (0 Sunday) filled in.
SystemTime with_weekday(SystemTime t) {
    t.day_of_week = uint16_t(((days_from_civil(t.year, t.month, t.day) % 7) + 11) % 7);
    return t;
}

SystemTime today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    SystemTime t;
    t.year = uint16_t(local.tm_year + 1900);
    t.month = uint16_t(local.tm_mon + 1);
    t.day = uint16_t(local.tm_mday);
    return with_weekday(t);
}

void show_month(HWnd w, CalendarModel& m, int32_t year, int32_t month) {
    int32_t months = year * 12 + (month - 1);
    int32_t shown_year = std::clamp(months / 12, 1601, 9999);
    int32_t shown_month =
        shown_year == months / 12 ? months % 12 + 1 : (shown_year == 1601 ? 1 : 12);
    if (m.shown_year == shown_year && m.shown_month == shown_month) return;
    m.shown_year = shown_year;
    m.shown_month = shown_month;
    control_changed(w, ControlChange::current);
}

// The headless calendar's face: the title band with the month arrows,
// the weekday names, then six weeks.
constexpr int title_height = 24;
constexpr int names_height = 16;
constexpr int arrow_width = 24;

// The day in the grid under a client point (from the month on show).
bool day_at(HWnd w, const CalendarModel& m, Point p, SystemTime& day) {
    Rect r = client_rect(w);
    int grid_top = title_height + names_height;
    if (p.y < grid_top || p.x < 0 || p.x >= r.width() || r.height() <= grid_top) return false;
    int column = p.x * 7 / std::max(1, r.width());
    int row = (p.y - grid_top) * 6 / std::max(1, r.height() - grid_top);
    SystemTime first{uint16_t(m.shown_year), uint16_t(m.shown_month), 0, 1};
    // Columns start at the first day of the week (0 Monday .. 6 Sunday).
    int lead = (with_weekday(first).day_of_week + 6 - m.first_day + 7) % 7;
    int64_t days =
        days_from_civil(m.shown_year, unsigned(m.shown_month), 1) - lead + row * 7 + column;
    // Back to a civil date.
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = unsigned(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    unsigned d = doy - (153 * mp + 2) / 5 + 1;
    unsigned month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = int64_t(yoe) + era * 400 + (month <= 2);
    day = {uint16_t(year), uint16_t(month), 0, uint16_t(d)};
    return valid_day(day);
}

int64_t calendar_input(HWnd w, CalendarModel& m, int64_t lparam) {
    Point p{point_param_x(lparam), point_param_y(lparam)};
    int width = client_rect(w).width();
    if (p.y < title_height) {
        if (p.x < arrow_width) user_show_month(w, m.shown_year, m.shown_month - 1);
        if (p.x >= width - arrow_width) user_show_month(w, m.shown_year, m.shown_month + 1);
        return 0;
    }
    SystemTime day;
    if (day_at(w, m, p, day)) user_pick_day(w, day);
    return 0;
}

} // namespace

namespace controls {

int64_t calendar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    CalendarModel* m = proc_model<CalendarModel>(w, message, [](CalendarModel& fresh) {
        fresh.today = fresh.selected = today();
        fresh.shown_year = fresh.today.year;
        fresh.shown_month = fresh.today.month;
    });
    if (!m) return def_window_proc(w, message, wparam, lparam);
    switch (message) {
    case MCM_GETCURSEL:
        if (!lparam) return 0;
        *reinterpret_cast<SystemTime*>(lparam) = m->selected;
        return 1;
    case MCM_SETCURSEL: {
        if (!lparam) return 0;
        SystemTime day = *reinterpret_cast<const SystemTime*>(lparam);
        if (!valid_day(day)) return 0;
        m->selected = with_weekday(day);
        control_changed(w, ControlChange::current);
        show_month(w, *m, day.year, day.month);
        return 1;
    }
    case MCM_SETCOLOR: {
        if (wparam > MCSC_TRAILINGTEXT) return -1;
        int64_t old = m->color_set[wparam] ? int64_t(m->colors[wparam]) : -1;
        m->colors[wparam] = uint32_t(lparam);
        m->color_set[wparam] = true;
        control_changed(w, ControlChange::look);
        return old;
    }
    case MCM_GETCOLOR:
        if (wparam > MCSC_TRAILINGTEXT || !m->color_set[wparam]) return -1;
        return m->colors[wparam];
    case MCM_SETTODAY:
        m->today = lparam ? with_weekday(*reinterpret_cast<const SystemTime*>(lparam)) : today();
        control_changed(w, ControlChange::look);
        return 0;
    case MCM_GETTODAY:
        if (!lparam) return 0;
        *reinterpret_cast<SystemTime*>(lparam) = m->today;
        return 1;
    case MCM_SETFIRSTDAYOFWEEK: {
        int32_t old = m->first_day;
        m->first_day = std::clamp(int32_t(lparam), 0, 6);
        control_changed(w, ControlChange::look);
        return old;
    }
    case MCM_GETFIRSTDAYOFWEEK: return m->first_day;
    case WM_LBUTTONDOWN: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return calendar_input(w, *m, lparam);
    }
    default: return control_default(w, message, wparam, lparam, {});
    }
}

} // namespace controls

void user_pick_day(HWnd calendar, SystemTime day) {
    CalendarModel* m = control_model<CalendarModel>(calendar);
    if (!m || !valid_day(day)) return;
    m->selected = with_weekday(day);
    control_changed(calendar, ControlChange::current);
    show_month(calendar, *m, day.year, day.month);
    CalendarSelection selection{{}, m->selected, m->selected};
    notify_parent(calendar, selection.header, MCN_SELCHANGE);
    if (!control_model<CalendarModel>(calendar)) return;
    notify_parent(calendar, selection.header, MCN_SELECT);
}

void user_show_month(HWnd calendar, int32_t year, int32_t month) {
    if (CalendarModel* m = control_model<CalendarModel>(calendar))
        show_month(calendar, *m, year, month);
}

} // namespace kiv::gui
