// TEMPORARY skeleton, replaced by the request entry.
int main() { return 0; }
