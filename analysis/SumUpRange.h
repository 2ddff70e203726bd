#ifndef SUMUPRANGE_H
#define SUMUPRANGE_H

// Images from .. to - 1 of the I1 stack, one range of a sum-up.
struct SumUpRange
{
    int from = 0;
    int to = 0;  // exclusive
    int flag = 0;  // kept for the record layout; nothing reads it
};

#endif
