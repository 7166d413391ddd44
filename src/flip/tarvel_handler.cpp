#include "flip/tarvel_handler.h"

int32_t CTarvelHandler::Execute(MacroContext* /*context*/)
{
    return 0;
}

void CTarvelHandler::Destroy()
{
    delete this;
}
