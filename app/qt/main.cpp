#include "OrvistaApp.h"

int main(int argc, char** argv)
{
    Orvista::COrvistaApp application(argc, argv);
    return application.Run();
}
