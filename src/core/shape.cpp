// Shapes in memory.
#include "core/shape.h"

#include <cstdlib>

void free_shape(ShapeData* data)
{
    free(data->coords);
    free(data->normals);
    free(data->colors);
    free(data->joins);
    *data = {};
}
