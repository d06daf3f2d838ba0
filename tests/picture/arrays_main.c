/* The Arduino arrays as a sketch uses them: c16.h and xbm.h included into
 * one C file, every pixel read. */
#include "c16.h"
#include "xbm.h"

int main(void)
{
    unsigned long sum = 0;
    for (unsigned i = 0; i < sizeof c16 / sizeof c16[0]; i++)
        sum += c16[i];
    for (unsigned i = 0; i < sizeof xbm_bits; i++)
        sum += xbm_bits[i];
    return (c16_width * c16_height == xbm_width * xbm_height && sum > 0) ? 0 : 1;
}
