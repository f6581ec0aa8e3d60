// The shop page of the menu: buying power levels.
#pragma once

// Menu page 1, every frame while the menu is open: only its caption line
// (text 170, while the focus is inside the page) is drawn yet.
void ShopPage();
