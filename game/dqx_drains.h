// Drains: one frame of the placed drains (filling, collection).
#pragma once

void UpdateDrains();
