#include "CmdExecutor.h"

bool CmdExecutor::actTools(int, const CmdLine&, bool&)
{
    return false;
}
