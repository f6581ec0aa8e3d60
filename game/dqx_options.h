// The inventory, options and key pages of the menu.
#pragma once

struct CharacterRecord;

// Menu page 2, every frame while the menu is open, on the hero: only its
// caption line (text 171, while the focus is inside the page) is drawn yet.
void InventoryPage(CharacterRecord* hero);
// Menu page 6, every frame while the menu is open: draws nothing yet.
void OptionsPage();
