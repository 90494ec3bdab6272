// A Print dialog as the printing system shows it: a window with the host's parent pane, the
// Accounting pane's controls embedded in it as the interface definition lays them out, a Print
// button, and a print session whose print-settings ticket the tests fill.
#pragma once

#include "Accounting/AccountingContext.h"
#include "tests/support/LiveObjects.h"

#include <string>
#include <vector>

class PaneFixture : public BalancedTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The pane's controls, looked up as the pane does and stored in the context.
    void buildPane();
    // The pane built, shown and hooked up as a running Print dialog has it: the pane's handler
    // on its content pane and the Print button, the key filter on the code fields, and a host
    // handler behind them that "prints" when a Print click gets through.
    void openDialog();
    int printCount() const { return m_prints; }
    ControlRef control(SInt32 number) const;
    Rect boundsOf(SInt32 number) const;

    // Ticket items, as a driver would find them.
    void setTicketInteger(const char* key, SInt32 value, bool locked = false);
    void setTicketString(const char* key, const char* value);
    bool ticketInteger(const char* key, SInt32* value) const;
    std::string ticketString(const char* key) const;

    // Draw events each control received since the last reset.
    int drawCount(SInt32 number) const;
    void resetDrawCounts();

    WindowRef dialog { nullptr };
    ControlRef parentPane { nullptr };
    ControlRef printButton { nullptr };
    PMPrintSession session { nullptr };
    PMTicketRef settings { nullptr };
    AccountingContext context {};

private:
    std::vector<std::pair<ControlRef, int>> m_draws;
    int m_prints { 0 };
    friend OSStatus recordDraw(EventHandlerCallRef, EventRef, void*);
    friend OSStatus hostPrints(EventHandlerCallRef, EventRef, void*);
};

// Where the interface definition puts the controls this file's tests move.
inline constexpr Rect kTypeTextBounds = { 110, 10, 126, 140 };
inline constexpr Rect kAccountIDTextBounds = { 254, 10, 270, 140 };
inline constexpr Rect kAccountIDFieldBounds = { 274, 10, 296, 140 };

bool operator==(const Rect& a, const Rect& b);
std::ostream& operator<<(std::ostream& out, const Rect& r);
