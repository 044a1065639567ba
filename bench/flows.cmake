# The flow store's figures: recording a step, and searching and listing a large store.
velmor_add_bench(velmor_flow_bench SOURCES flow_bench.cpp LIBS velmor_tools velmor_flows)
