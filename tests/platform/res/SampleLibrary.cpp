// A shared library that only carries resources and a version record.
extern "C" int res_sample_answer() { return 42; }
