// GNUstep's headers look for the blocks runtime here; Debian's is the standalone one.
#include <Block.h>
