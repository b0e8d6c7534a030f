// Linked into a copy of the manager that reports the next version, for the
// end-to-end runs of its self-update.
extern "C" const char* quillotoneManagerVersionText()
{
    return QUILLOTONE_NEXT_VERSION;
}
