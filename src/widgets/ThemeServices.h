// Whether the widgets draw with the desktop style's elements (themed) or in their own flat
// colours. One switch for the whole program, like the desktop's visual styles.
#pragma once

bool ThemesEnabled();
void SetThemesEnabled(bool enabled);
