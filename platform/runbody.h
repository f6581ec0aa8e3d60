// The run body: what runs between the device start and the shutdown.
#pragma once

void RunGame();
