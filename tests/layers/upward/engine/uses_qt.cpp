// Engine code that uses Qt: the layer check must name it.
#include <QString>
