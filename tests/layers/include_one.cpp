// One header of the project, named by the build, included with a library's own include root.
#include LAYER_HEADER
