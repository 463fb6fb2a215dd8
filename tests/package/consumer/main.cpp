// An outside project built against the installed library.
#include <sorvansdk/SorvanSDK.h>

int main() {
    HelloSorvanSDK();
    return 0;
}
