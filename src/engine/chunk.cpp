// The chunk buffers that the transforms and the comparison share.
#include "engine/chunk.h"

mdChunkBuffers& mdChunks()
{
    static mdChunkBuffers chunks;
    return chunks;
}
