// The user guide's layout with any text: lines stay within their limits.
#include <memory>

#include "editor/HelpPane.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CBitmap* target = new CBitmap(64, 64);
    static std::unique_ptr<CDrawContext> context = createBitmapContext(*target);
    // The crowd display's size, and a narrow one where single characters fill a line.
    for (const int width : {428, 20}) {
        HelpPane pane(CRect(0, 0, width, 300), nullptr, nullptr);
        pane.setText(reinterpret_cast<const char*>(data), size);
        pane.layout(*context);
        if (size > 0 && !pane.isLaidOut()) {
            __builtin_trap();
        }
        for (int i = 0; pane.isLaidOut() && i <= pane.lastLine(); ++i) {
            if (pane.line(i).size() > static_cast<std::size_t>(HelpPane::kMaxLineLength)) {
                __builtin_trap();
            }
        }
        if (pane.lastLine() >= HelpPane::kMaxLines) {
            __builtin_trap();
        }
    }
    return 0;
}
