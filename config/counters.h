// The statistics counters the Status page and the statistics dialog show: per-day counts
// kept by the services in the yearly counter files, summed over today, the last 7 days
// and the last 30 days (which reach back into the previous year's file in early January).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/counter_file.h"
#include "platform/clock.h"

namespace config {

struct StatCounts { std::uint32_t today = 0, last7 = 0, last30 = 0; };

// `ReadStatCounter`: today's count of the statistic `name`, and the sums over the 7 and
// 30 days ending today, from "STATS/<name>-<year>.CTR" (and the previous year's file for
// days before 1 January). For a current-value statistic (see IsCurrentValueStatistic)
// all three are the single value the service keeps. Missing files count as zeros; sums
// saturate at UINT32_MAX. "Today" is acctdb::TZGetLocalTime().
StatCounts ReadStatCounter(const std::string& name);

// ReadStatCounter of each name, in order, with one "today" and one look-up of the
// statistics directory for all of them: what a refresh showing many counters calls.
std::vector<StatCounts> ReadStatCounters(const std::vector<std::string>& names);

// The same for an explicit local date instead of today.
StatCounts ReadStatCounterOn(const std::string& name, const platform::SystemTime& date);

// The services' leap-year rule: every year divisible by 4, with no century exception.
// The counter files were laid out by it, so reading them by any other rule would shift
// every day from March on in 2100.
bool IsCounterLeapYear(int year);

// Days in `year` by that rule: 366 or 365.
int CounterDaysInYear(int year);

// Index of a date in a daily counter file: 0 for 1 January, 59 for 1 March (60 in a leap
// year). A month outside 1..12 is taken as the nearest valid month and the result is
// clamped to the file (0..365), so a bad calendar time never reads past the counters.
int CounterDayIndex(int year, int month, int day);

// Sum of `counters[first]`, `counters[first-1]`, ... taking at most `days` counters and
// none before counter 0, saturating at UINT32_MAX. `first` beyond the file is clamped.
std::uint32_t SumBackwards(const DailyCounters& counters, int first, int days);

// Path of a connection's yearly counter file in the private data directory: the
// connection's file name (ConnectionFileName), "-<year>", and ".CTR" for messages sent
// or "-RECEIVED.CTR" for messages received.
std::string ConnectionCounterPath(const std::string& connectionName, int year, bool received);

}  // namespace config
