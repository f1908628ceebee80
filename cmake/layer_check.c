/* An empty program: the layer checks link whole libraries into it. */
int main(void) { return 0; }
