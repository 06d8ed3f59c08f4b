/* region.c: a small program that stands in the stub region of the
   self-expanding files a sanitizer tree's end-to-end tests build; selfrun,
   not this program, reads those files. */
int main(void)
{
    return 0;
}
