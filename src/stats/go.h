// The Gene Ontology graph of one namespace (parent -> child edges), each term's descendants,
// the genes annotated directly to each term, and the GO console reports.
#pragma once

#include <boost/graph/adjacency_list.hpp>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "stats/gene.h"

struct GO {
  std::string name;
  std::vector<std::string> gene;  ///< genes annotated directly to the term
  std::vector<int> gene_index;    ///< parallel to gene: index in GENEData::genevec
  std::set<int> descendants;      ///< vertex indexes of all terms below, the term excluded
  /// The term's genes and those of every term below it, ascending (set by find_gene_sets);
  /// empty when there are more than the size limit.
  std::vector<int> genes_below;
  bool too_many_genes = false;  ///< genes_below passed the size limit and was dropped
};

struct vertex_go_name_t {
  typedef boost::vertex_property_tag kind;
};
struct vertex_go_degree_t {
  typedef boost::vertex_property_tag kind;
};
struct vertex_go_in_degree_t {
  typedef boost::vertex_property_tag kind;
};
struct vertex_go_out_degree_t {
  typedef boost::vertex_property_tag kind;
};

typedef boost::property<
    vertex_go_name_t, std::string,
    boost::property<
        vertex_go_degree_t, int,
        boost::property<vertex_go_in_degree_t, int, boost::property<vertex_go_out_degree_t, int>>>>
    GoVertexProperty;
typedef boost::property<boost::edge_weight_t, float> GoEdgeProperty;
typedef boost::adjacency_list<boost::vecS, boost::vecS, boost::bidirectionalS, GoVertexProperty,
                              GoEdgeProperty, boost::no_property, boost::listS>
    Graph;

/// Holds no property map of its graph (a map points into the graph it was taken from, so a
/// copy would read the original's memory): the properties are fetched where they are used.
class GOData {
 public:
  std::string goedges_filename;
  std::string go_gene_filename;
  std::string go_type;  ///< "all" or the namespace whose edges are kept
  Graph go_graph;
  int nvertices = 0;
  std::map<std::string, int> go_map;  ///< term name -> vertex index
  std::vector<GO> govec;              ///< govec[i] belongs to vertex i
  std::vector<int> compute_seq;       ///< vertices in depth-first finishing order (children first)
  bool has_cycles = false;  ///< set by determine_compute_sequence when an edge closes a loop

  GOData();
  GOData(const std::string& filename, const std::string& goType);
  void makeGO(const std::string& filename, const std::string& goType);
  void load_go_graph();
  void create_go_map();
  void create_govec();
  void determine_compute_sequence();
  void compute_degrees();
  int count_roots() const;
  int count_leaves() const;
  void find_descendants();
  /// Fills each term's genes_below through the graph's strongly connected components, children
  /// first. A set that passes `max_genes` (when positive) is dropped and grows no further, so
  /// time and memory follow the sets that are kept, not the square of the graph.
  void find_gene_sets(int max_genes);
  void load_go_gene(const std::string& filename, GENEData& genedat);

  void print_summary(const std::string& title) const;
  void print_degrees_freq_table(const std::string& title) const;
  void print_degrees(const std::string& title) const;
  void print_roots(const std::string& title) const;
  void print_leaves(const std::string& title) const;
  void print_go_map(const std::string& title) const;
  void print_descendants(const std::string& title) const;
  void print_compute_sequence(const std::string& title) const;
  void print_govec(const std::string& title) const;
  void print_go_graph(const std::string& title) const;
};
