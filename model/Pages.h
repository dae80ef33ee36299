// The pages of the main window, in their order on the page control, and the captions their
// tabs show. The settings know which page shows them, so the command line names the same
// page the window does.
#pragma once

namespace tarvelo {

enum class PageId { General, Lines, Timers, NumberPlan, Codes, Numbers, CallIn, Terminal };

constexpr int kPageCount = static_cast<int>(PageId::Terminal) + 1;

// The tab's caption without its accelerator ("Alap", "Időzítők", ...).
const char* PageCaption(PageId page);

// What the header texts of a database (site, owner, connection, type) go under: no page
// shows them.
constexpr const char* kRecordPage = "Adatbázis";

}  // namespace tarvelo
