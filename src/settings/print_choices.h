// The two choices a user makes about printing: the body text size and where the full header goes.
#pragma once

namespace folivane {

enum class FontSize { Regular, Large };
enum class HeaderPlacement { EveryPage, FirstPage };

}  // namespace folivane
