/* A library with code and data, so that it has several loadable segments to align. */
int page_alignment_fixture_counter = 1;
int page_alignment_fixture_next(void) { return ++page_alignment_fixture_counter; }
