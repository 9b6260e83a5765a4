// Implementation follows.
#include "zip/decoders/EntryDecoder.h"
