#pragma once

#include <cstdint>

// Pens and brushes the drawing service has created and not yet deleted.
// Every pass gives back all it made, so outside a pass this is 0.
int32_t LiveDrawingObjects();
